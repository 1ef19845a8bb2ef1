#pragma once
// What the fuzz targets share: a check that stops the run with a readable message
// (libFuzzer then saves the input that broke it), and numbers and bytes shown in it.
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace anodix::fuzz {

#define FUZZ_CHECK(cond, detail)                                             \
    do {                                                                     \
        if (!(cond)) {                                                       \
            std::fprintf(stderr, "\n*** fuzz check failed: %s\n%s\n", #cond, \
                         std::string(detail).c_str());                       \
            std::abort();                                                    \
        }                                                                    \
    } while (0)

// Text shown in failure messages: printable bytes as they are, others as \xNN.
inline std::string Show(std::string_view text) {
    std::string out;
    for (unsigned char c : text) {
        const char* hex = "0123456789ABCDEF";
        out += c >= 32 && c < 127 && c != '\\' ? std::string(1, char(c))
                                               : std::string{'\\', 'x', hex[c >> 4], hex[c & 15]};
    }
    return out;
}

inline std::string Num(double v) {
    char buf[32];
    return std::string(buf, std::to_chars(buf, buf + sizeof buf, v).ptr);
}

}  // namespace anodix::fuzz
