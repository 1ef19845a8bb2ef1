// Renders the program's SVG icon into PNG files of the given sizes, for the icon theme
// folders of desktops that do not draw SVG icons themselves.
//   anodix_render_icon ICON.svg OUTDIR SIZE...   writes OUTDIR/SIZExSIZE/anodix.png
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QString>
#include <QSvgRenderer>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fputs("usage: anodix_render_icon ICON.svg OUTDIR SIZE...\n", stderr);
        return 2;
    }
    QSvgRenderer svg(QString::fromLocal8Bit(argv[1]));
    if (!svg.isValid()) {
        std::fprintf(stderr, "anodix_render_icon: %s is not a readable SVG picture\n", argv[1]);
        return 1;
    }
    const QString out = QString::fromLocal8Bit(argv[2]);
    for (int k = 3; k < argc; ++k) {
        const int side = std::atoi(argv[k]);
        if (side < 1 || side > 1024) {
            std::fprintf(stderr, "anodix_render_icon: bad size %s\n", argv[k]);
            return 2;
        }
        QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        svg.render(&painter);
        painter.end();
        const QString dir = out + QString("/%1x%1").arg(side);
        const QString file = dir + "/anodix.png";
        if (!QDir().mkpath(dir) || !image.save(file, "PNG")) {
            std::fprintf(stderr, "anodix_render_icon: cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}
