#include "plotcli/pngfile.h"

#include <QSaveFile>
#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <zlib.h>

namespace anodix {

namespace {

// Big-endian; returns the end.
unsigned char* PutU32(unsigned char* out, std::uint32_t v) {
    for (int k = 0; k < 4; ++k) out[k] = static_cast<unsigned char>(v >> (24 - 8 * k));
    return out + 4;
}

// The CRC of a chunk's type and data, `size` bytes from `chunk`, put after them.
unsigned char* PutCrc(unsigned char* chunk, std::size_t size) {
    return PutU32(chunk + size, static_cast<std::uint32_t>(crc32_z(0, chunk, size)));
}

bool Fail(QString* error, const QString& reason) {
    if (error != nullptr) *error = reason;
    return false;
}

// A Huffman code of the deflate format as it goes into the LSB-first bit stream.
struct Code {
    std::uint32_t bits = 0;
    int length = 0;
};

std::uint32_t Reversed(std::uint32_t code, int length) {
    std::uint32_t r = 0;
    for (int i = 0; i < length; ++i) r |= ((code >> i) & 1u) << (length - 1 - i);
    return r;
}

// The fixed literal/length code of the deflate format.
Code FixedCode(int symbol) {
    if (symbol < 144) return {Reversed(0x30u + static_cast<std::uint32_t>(symbol), 8), 8};
    if (symbol < 256) return {Reversed(0x190u + static_cast<std::uint32_t>(symbol - 144), 9), 9};
    if (symbol < 280) return {Reversed(static_cast<std::uint32_t>(symbol - 256), 7), 7};
    return {Reversed(0xC0u + static_cast<std::uint32_t>(symbol - 280), 8), 8};
}

constexpr int kMinRun = 3, kMaxRun = 258;

struct CodeTables {
    std::array<Code, 256> literal;
    // A repeat of the previous byte, run bytes long: length code, its extra bits and
    // distance 1 (five zero bits), for 3 to 258.
    std::array<Code, kMaxRun + 1> run;
    Code end;

    CodeTables() {
        for (int b = 0; b < 256; ++b) literal[static_cast<std::size_t>(b)] = FixedCode(b);
        end = FixedCode(256);
        static constexpr std::array<int, 29> kBase = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,
                                                      15, 17, 19, 23, 27, 31, 35, 43, 51,  59,
                                                      67, 83, 99, 115, 131, 163, 195, 227, 258};
        static constexpr std::array<int, 29> kExtra = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                                       2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
        for (int n = kMinRun; n <= kMaxRun; ++n) {
            std::size_t k = kBase.size() - 1;
            while (kBase[k] > n) --k;
            const Code length = FixedCode(257 + static_cast<int>(k));
            const auto extra = static_cast<std::uint32_t>(n - kBase[k]);
            run[static_cast<std::size_t>(n)] = {length.bits | (extra << length.length),
                                                length.length + kExtra[k] + 5};
        }
    }
};

const CodeTables& Tables() {
    static const CodeTables tables;
    return tables;
}

// One deflate block with the fixed codes in which every repeat of the byte before is
// sent as runs (distance 1) and everything else as literals: filtered plot rows are
// mostly long runs of zeros, which this packs to a few bits per 258 bytes without
// looking at each byte. Keeps the Adler-32 of the data on the way.
class RunDeflater {
public:
    // out: room for Bound(bytes) bytes.
    explicit RunDeflater(unsigned char* out) : start_(out), out_(out + 2), tables_(Tables()) {
        Bits(0b011, 3);  // the last block, fixed codes
    }

    // The most bytes Finish can give for `bytes` bytes of data (nine bits a literal).
    static std::size_t Bound(std::size_t bytes) { return bytes + bytes / 8 + 16; }

    void Put(unsigned char byte) {
        const Code& code = tables_.literal[byte];
        Bits(code.bits, code.length);
        previous_ = byte;
        havePrevious_ = true;
        a_ += byte;
        b_ += a_;
        Check();
    }

    // count bytes of one value.
    void PutRepeated(unsigned char byte, std::size_t count) {
        if (count == 0) return;
        if (!havePrevious_ || previous_ != byte) {
            Put(byte);
            --count;
        }
        while (count >= kMinRun) {
            const std::size_t run = count < kMaxRun ? count : kMaxRun;
            const Code& code = tables_.run[run];
            Bits(code.bits, code.length);
            // The Adler-32 sums after run more bytes of the value, in one step.
            const std::uint64_t n = run;
            b_ += n * a_ + byte * n * (n + 1) / 2;
            a_ += n * byte;
            Check();
            count -= run;
        }
        for (; count > 0; --count) Put(byte);
    }

    // Ends the stream; the number of bytes written, the zlib header and check included.
    std::size_t Finish() {
        Bits(tables_.end.bits, tables_.end.length);
        while (count_ > 0) {
            *out_++ = static_cast<unsigned char>(acc_);
            acc_ >>= 8;
            count_ = count_ > 8 ? count_ - 8 : 0;
        }
        a_ %= 65521;
        b_ %= 65521;
        start_[0] = 0x78;  // deflate with a 32 KB window
        start_[1] = 0x01;  // no dictionary, fastest; 0x7801 is a multiple of 31
        const auto adler = static_cast<std::uint32_t>((b_ << 16) | a_);
        for (int k = 3; k >= 0; --k) *out_++ = static_cast<unsigned char>(adler >> (8 * k));
        return static_cast<std::size_t>(out_ - start_);
    }

private:
    void Bits(std::uint32_t bits, int length) {
        acc_ |= static_cast<std::uint64_t>(bits) << count_;
        count_ += length;
        if (count_ >= 32) {
            for (int k = 0; k < 4; ++k) out_[k] = static_cast<unsigned char>(acc_ >> (8 * k));
            out_ += 4;
            acc_ >>= 32;
            count_ -= 32;
        }
    }

    // a grows by at most 258 * 255 a step and b by 258 times a and a little: far from
    // overflowing when both are brought down once b passes 2^62.
    void Check() {
        if (b_ >= (std::uint64_t{1} << 62)) {
            a_ %= 65521;
            b_ %= 65521;
        }
    }

    unsigned char* start_;
    unsigned char* out_;
    const CodeTables& tables_;
    std::uint64_t acc_ = 0;
    int count_ = 0;
    unsigned char previous_ = 0;
    bool havePrevious_ = false;
    std::uint64_t a_ = 1, b_ = 0;
};

// One row filtered by "Sub" (each byte less the same byte of the pixel to its left, zero
// left of the first): a pixel like its left neighbour is three zeros, so runs of one
// colour go in as one repeat.
void PutRow(RunDeflater& deflater, const QRgb* pixel, int width) {
    constexpr QRgb kColour = 0xFFFFFFu;
    deflater.Put(1);
    QRgb left = 0;
    int x = 0;
    while (x < width) {
        int same = x;
        while (same < width && ((pixel[same] ^ left) & kColour) == 0) ++same;
        if (same > x) {
            deflater.PutRepeated(0, 3 * static_cast<std::size_t>(same - x));
            x = same;
            continue;
        }
        const QRgb p = pixel[x];
        deflater.Put(static_cast<unsigned char>(qRed(p) - qRed(left)));
        deflater.Put(static_cast<unsigned char>(qGreen(p) - qGreen(left)));
        deflater.Put(static_cast<unsigned char>(qBlue(p) - qBlue(left)));
        left = p;
        ++x;
    }
}

}  // namespace

bool WriteQuickPng(const QString& path, const QImage& image, QString* error) {
    const QImage rgb = image.format() == QImage::Format_RGB32 ? image
                                                              : image.convertToFormat(QImage::Format_RGB32);
    const int width = rgb.width(), height = rgb.height();
    if (rgb.isNull() || width < 1 || height < 1) return Fail(error, QStringLiteral("empty picture"));
    const std::size_t rawBytes = (1 + 3 * static_cast<std::size_t>(width)) * static_cast<std::size_t>(height);

    // The whole file in one buffer: signature, header chunk, the pixel chunk's length and
    // type, the deflated rows, its CRC, the end chunk. Room for the worst case, left
    // uninitialised: only the part written is ever touched.
    constexpr std::size_t kBefore = 8 + 25 + 8, kAfter = 4 + 12;
    const std::size_t room = kBefore + RunDeflater::Bound(rawBytes) + kAfter;
    const std::unique_ptr<unsigned char[]> file(new unsigned char[room]);
    unsigned char* const data = file.get() + kBefore;
    RunDeflater deflater(data);
    for (int y = 0; y < height; ++y)
        PutRow(deflater, reinterpret_cast<const QRgb*>(rgb.constScanLine(y)), width);
    const std::size_t packed = deflater.Finish();

    unsigned char* p = file.get();
    std::memcpy(p, "\x89PNG\r\n\x1a\n", 8);
    p = PutU32(p + 8, 13);
    std::memcpy(p, "IHDR", 4);
    PutU32(p + 4, static_cast<std::uint32_t>(width));
    PutU32(p + 8, static_cast<std::uint32_t>(height));
    std::memcpy(p + 12, "\x08\x02\x00\x00\x00", 5);  // 8 bits, RGB, deflate, filtered rows, no interlace
    p = PutCrc(p, 4 + 13);
    p = PutU32(p, static_cast<std::uint32_t>(packed));
    std::memcpy(p, "IDAT", 4);
    p = PutCrc(p, 4 + packed);
    p = PutU32(p, 0);
    std::memcpy(p, "IEND", 4);
    p = PutCrc(p, 4);
    const auto size = static_cast<qint64>(p - file.get());

    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly)) return Fail(error, out.errorString());
    if (out.write(reinterpret_cast<const char*>(file.get()), size) != size) {
        const QString reason = out.errorString();
        out.cancelWriting();
        return Fail(error, reason);
    }
    if (!out.commit()) return Fail(error, out.errorString());
    return true;
}

}  // namespace anodix
