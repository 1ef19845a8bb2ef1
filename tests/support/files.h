#pragma once
// Whole files read and written with the standard library, independently of the
// program's own file layer, so that tests can set up and check files on disk.
#include <fstream>
#include <iterator>
#include <string>

namespace anodix::test {

inline std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Replaces the file with exactly these bytes; gives the path back.
inline std::string WriteWholeFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
    return path;
}

}  // namespace anodix::test
