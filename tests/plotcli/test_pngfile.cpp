// The quick PNG writer: every picture read back pixel for pixel, its chunks' CRCs and
// its deflated data (with the Adler-32 check) proved by zlib itself.
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>
#include <zlib.h>

#include "plotcli/pngfile.h"

using namespace anodix;

namespace {

std::uint32_t U32(const QByteArray& b, qsizetype at) {
    const auto* p = reinterpret_cast<const unsigned char*>(b.constData() + at);
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

// Walks the chunks: each CRC right, IDAT inflating to exactly the filtered rows.
QString CheckStructure(const QByteArray& png, int width, int height) {
    if (!png.startsWith("\x89PNG\r\n\x1a\n")) return "no signature";
    QByteArray idat;
    qsizetype at = 8;
    QByteArray type;
    while (at + 12 <= png.size() && type != "IEND") {
        const qsizetype size = U32(png, at);
        if (at + 12 + size > png.size()) return "chunk past the end";
        type = png.mid(at + 4, 4);
        const auto* crcFrom = reinterpret_cast<const Bytef*>(png.constData() + at + 4);
        if (crc32(0, crcFrom, static_cast<uInt>(size + 4)) != U32(png, at + 8 + size)) return "bad CRC in " + type;
        if (type == "IDAT") idat += png.mid(at + 8, size);
        at += 12 + size;
    }
    if (type != "IEND" || at != png.size()) return "no end chunk";
    QByteArray raw((1 + 3 * qsizetype{width}) * height + 1, '\0');
    uLongf rawSize = static_cast<uLongf>(raw.size());
    const int status = uncompress(reinterpret_cast<Bytef*>(raw.data()), &rawSize,
                                  reinterpret_cast<const Bytef*>(idat.constData()), static_cast<uLong>(idat.size()));
    if (status != Z_OK) return "zlib says " + QString::number(status);
    if (rawSize + 1 != static_cast<uLongf>(raw.size())) return "inflated to " + QString::number(rawSize);
    return {};
}

}  // namespace

class TestPngFile : public QObject {
    Q_OBJECT
private slots:
    void readsBackPixelForPixel_data() {
        QTest::addColumn<QImage>("image");
        QRandomGenerator random(7);
        // Every byte different from the one before: all literals, the largest output.
        QImage noise(97, 41, QImage::Format_RGB32);
        for (int y = 0; y < noise.height(); ++y)
            for (int x = 0; x < noise.width(); ++x) noise.setPixel(x, y, random.generate());
        QTest::newRow("noise") << noise;

        // Runs of 3 * 86 = 258 bytes and one or two more, one colour across the rows, a
        // black first pixel (the same as the zero left of it) and a lone grey pixel
        // whose three bytes repeat each other.
        for (int width : {86, 87, 172, 173, 1000}) {
            QImage plot(width, 9, QImage::Format_RGB32);
            plot.fill(Qt::white);
            plot.setPixel(0, 2, qRgb(0, 0, 0));
            plot.setPixel(width - 1, 4, qRgb(128, 128, 128));
            for (int x = 0; x < width; x += 3) plot.setPixel(x, 6, qRgb(0, 128, 0));
            QTest::newRow(qPrintable(QString("runs %1 wide").arg(width))) << plot;
        }
        // Runs of every length a row gives, up to the longest: a colour held for 1 to 90
        // pixels, changing in red (the run starts after a zero byte) or blue (after a
        // changed byte).
        QImage steps(90 * 91 / 2, 2, QImage::Format_RGB32);
        for (int y = 0, x = 0, held = 1; held <= 90; ++held)
            for (int k = 0; k < held; ++k, ++x) {
                const int v = held % 2 != 0 ? 255 : 0;
                steps.setPixel(x, y, qRgb(v, 50, 60));
                steps.setPixel(x, y + 1, qRgb(70, 50, v));
            }
        QTest::newRow("every run length") << steps;

        QImage dot(1, 1, QImage::Format_RGB32);
        dot.fill(Qt::black);
        QTest::newRow("one black pixel") << dot;

        // Another format is written as its RGB32 conversion.
        QImage alpha(20, 3, QImage::Format_ARGB32);
        alpha.fill(qRgba(10, 200, 30, 255));
        alpha.setPixel(5, 1, qRgba(10, 200, 30, 0));
        QTest::newRow("with alpha") << alpha;
    }

    void readsBackPixelForPixel() {
        QFETCH(QImage, image);
        const QTemporaryDir dir;
        const QString path = dir.filePath("p.png");
        QString error;
        QVERIFY2(WriteQuickPng(path, image, &error), qPrintable(error));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString fault = CheckStructure(file.readAll(), image.width(), image.height());
        QVERIFY2(fault.isEmpty(), qPrintable(fault));
        const QImage back(path);
        QCOMPARE(back.convertToFormat(QImage::Format_RGB32), image.convertToFormat(QImage::Format_RGB32));
    }

    void keepsTheOldFileOnFailure() {
        const QTemporaryDir dir;
        const QString path = dir.filePath("p.png");
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly) && old.write("old") == 3);
        old.close();
        QString error;
        QVERIFY(!WriteQuickPng(path, QImage(), &error));
        QVERIFY(!error.isEmpty());
        QVERIFY(!WriteQuickPng(dir.filePath("none/p.png"), QImage(4, 4, QImage::Format_RGB32), &error));
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll(), QByteArray("old"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"p.png"});
    }
};

QTEST_GUILESS_MAIN(TestPngFile)
#include "test_pngfile.moc"
