#include "plotcli/pngfile.h"

#include <QSaveFile>
#include <cstdint>
#include <memory>
#include <vector>
#include <zlib.h>

namespace anodix {

namespace {

void PutU32(QByteArray& out, std::uint32_t v) {
    const char bytes[4] = {static_cast<char>(v >> 24), static_cast<char>(v >> 16),
                           static_cast<char>(v >> 8), static_cast<char>(v)};
    out.append(bytes, 4);
}

// Length, type, data and the CRC of type and data.
void PutChunk(QByteArray& out, const char* type, const unsigned char* data, std::size_t size) {
    PutU32(out, static_cast<std::uint32_t>(size));
    out.append(type, 4);
    out.append(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    uLong crc = crc32(0, reinterpret_cast<const Bytef*>(type), 4);
    // (zlib takes a null buffer as a request for its starting value: IEND has no data)
    if (size > 0) crc = crc32_z(crc, data, size);
    PutU32(out, static_cast<std::uint32_t>(crc));
}

bool Fail(QString* error, const QString& reason) {
    if (error != nullptr) *error = reason;
    return false;
}

}  // namespace

bool WriteQuickPng(const QString& path, const QImage& image, QString* error) {
    const QImage rgb = image.format() == QImage::Format_RGB32 ? image
                                                              : image.convertToFormat(QImage::Format_RGB32);
    const int width = rgb.width(), height = rgb.height();
    if (rgb.isNull() || width < 1 || height < 1) return Fail(error, QStringLiteral("empty picture"));
    const std::size_t rowBytes = 1 + 3 * static_cast<std::size_t>(width);
    const std::size_t rawBytes = rowBytes * static_cast<std::size_t>(height);

    z_stream zs{};
    // Run-length matching at the fastest level: the filtered rows are long runs of zeros.
    if (deflateInit2(&zs, 1, Z_DEFLATED, 15, 8, Z_RLE) != Z_OK)
        return Fail(error, QStringLiteral("PNG compression could not start"));
    // Room for the worst case, left uninitialised: only the part written is ever touched.
    const std::size_t room = deflateBound(&zs, static_cast<uLong>(rawBytes));
    const std::unique_ptr<unsigned char[]> packed(new unsigned char[room]);
    zs.next_out = packed.get();
    zs.avail_out = static_cast<uInt>(room);
    std::vector<unsigned char> row(rowBytes);
    int status = Z_OK;
    for (int y = 0; y < height && status == Z_OK; ++y) {
        const QRgb* pixel = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        row[0] = 1;  // "Sub": each byte less the same byte of the pixel to its left
        unsigned char r0 = 0, g0 = 0, b0 = 0;
        unsigned char* out = row.data() + 1;
        for (int x = 0; x < width; ++x) {
            const auto r = static_cast<unsigned char>(qRed(pixel[x]));
            const auto g = static_cast<unsigned char>(qGreen(pixel[x]));
            const auto b = static_cast<unsigned char>(qBlue(pixel[x]));
            *out++ = static_cast<unsigned char>(r - r0);
            *out++ = static_cast<unsigned char>(g - g0);
            *out++ = static_cast<unsigned char>(b - b0);
            r0 = r, g0 = g, b0 = b;
        }
        zs.next_in = row.data();
        zs.avail_in = static_cast<uInt>(row.size());
        status = deflate(&zs, y + 1 == height ? Z_FINISH : Z_NO_FLUSH);
    }
    const std::size_t packedSize = room - zs.avail_out;
    deflateEnd(&zs);
    if (status != Z_STREAM_END) return Fail(error, QStringLiteral("PNG compression failed"));

    QByteArray png;
    png.reserve(static_cast<qsizetype>(packedSize) + 64);
    png.append("\x89PNG\r\n\x1a\n", 8);
    QByteArray header;
    PutU32(header, static_cast<std::uint32_t>(width));
    PutU32(header, static_cast<std::uint32_t>(height));
    header.append("\x08\x02\x00\x00\x00", 5);  // 8 bits, RGB, deflate, filtered rows, no interlace
    PutChunk(png, "IHDR", reinterpret_cast<const unsigned char*>(header.constData()),
             static_cast<std::size_t>(header.size()));
    PutChunk(png, "IDAT", packed.get(), packedSize);
    PutChunk(png, "IEND", nullptr, 0);

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return Fail(error, file.errorString());
    if (file.write(png) != png.size()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        return Fail(error, reason);
    }
    if (!file.commit()) return Fail(error, file.errorString());
    return true;
}

}  // namespace anodix
