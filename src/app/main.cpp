#include <QApplication>

#include "app/base.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("anodix");
    return 0;
}
