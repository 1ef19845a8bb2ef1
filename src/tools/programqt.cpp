#include "tools/programqt.h"

#include <QtGlobal>
#include <QString>

#include <cstdio>

namespace anodix {

namespace {

const char* programName = "anodix";

void QuietMessages(QtMsgType type, const QMessageLogContext&, const QString& text) {
    if (type == QtCriticalMsg || type == QtFatalMsg)
        std::fprintf(stderr, "%s: %s\n", programName, qPrintable(text));
}

}  // namespace

void PrepareProgramQt(const char* program) {
    programName = program;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(QuietMessages);
}

}  // namespace anodix
