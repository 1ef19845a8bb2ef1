#include <QApplication>

#include "app/base.h"
#include "app/qtdialogs.h"
#include "audio/pulsewave.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("anodix");

    anodix::PulseWaveApi wave;
    anodix::QtFileDialogService dialogs;
    anodix::QtMessageService messages;
    anodix::Base w(anodix::Services{&wave, &dialogs, &messages});
    w.Form_Load();
    return app.exec();
}
