// anodix_doc_pictures DIR: the README's pictures, made by the window itself on the
// offscreen platform: the first start (DIR/first-start.png) and a picture exported from the
// Plot menu with an operating point on the 12AU7 example (DIR/exported.png). The program's
// folder is a fresh one of its own, so that the start is a first one.
#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cstdio>

#include "app/base.h"
#include "app/scope.h"
#include "audio/memorywave.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("Usage: anodix_doc_pictures DIR\n", stderr);
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    const QTemporaryDir home;
    qputenv("XDG_DATA_HOME", home.path().toLocal8Bit());
    QApplication app(argc, argv);
    QApplication::setApplicationName("anodix");
    const QString dir = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();

    anodix::MemoryWaveApi wave;
    anodix::Base w(anodix::Services{&wave, nullptr, nullptr});
    w.Form_Load();
    QApplication::processEvents();
    bool ok = w.grab().save(dir + "/first-start.png");

    // 250 V and 10 mA with 10 k, typed into Ua0 and Ia0 (the focus there, as it is for Enter).
    w.TxUa0->setFocus();
    QApplication::processEvents();
    w.TxUa0->setText("250");
    w.TxIa0->setText("10");
    w.PlaceTypedOperatingPoint();
    ok = w.ExportPicture(dir + "/exported.png") && ok;
    if (!ok) std::fputs("anodix_doc_pictures: a picture could not be written\n", stderr);
    return ok ? 0 : 1;
}
