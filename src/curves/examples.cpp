#include "curves/examples.h"

#include <QDir>
#include <QFile>
#include <QString>

#include "tools/replacefile.h"

// Resources compiled into a static library are registered by hand.
static void InitExampleResources() { Q_INIT_RESOURCE(examples); }

namespace anodix {

namespace {
const QString kResourceDir = QStringLiteral(":/examples");
}

std::vector<std::string> ExampleNames() {
    InitExampleResources();
    std::vector<std::string> names;
    const QStringList entries = QDir(kResourceDir).entryList(QDir::Files, QDir::Name);
    for (const QString& name : entries) names.push_back(name.toStdString());
    return names;
}

int InstallExamples(const std::string& dir) {
    const QString target = QString::fromStdString(dir);
    if (!QDir().mkpath(target)) return -1;
    int copied = 0;
    bool failed = false;
    for (const std::string& name : ExampleNames()) {
        const QString qname = QString::fromStdString(name);
        const QString path = QDir(target).filePath(qname);
        if (QFile::exists(path)) continue;
        QFile source(kResourceDir + QLatin1Char('/') + qname);
        if (!source.open(QIODevice::ReadOnly)) {
            failed = true;
            continue;
        }
        const QByteArray bytes = source.readAll();
        // Written beside and renamed into place: a full disk leaves no half example.
        if (!ReplaceFile(
                path.toStdString(),
                std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())))) {
            failed = true;
            continue;
        }
        ++copied;
    }
    return failed ? -1 : copied;
}

}  // namespace anodix
