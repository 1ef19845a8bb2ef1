// INI files under hostile input: a file of any content, then a few writes of any
// section, key and value, in a temporary folder.
//
// Properties checked:
//  - a write is refused only for a name or value that cannot stand on one line or
//    would not parse back (line breaks, empty names, "]" in a section, "=" in a key
//    or a key that reads as a comment or section);
//  - a document read and written back unchanged gives the file's bytes back;
//  - after the writes, every key written reads back with its last value (one leading
//    apostrophe removed), whatever the file held before;
//  - no temporary file is left beside the file.
#include <fuzzer/FuzzedDataProvider.h>

#include <dirent.h>
#include <unistd.h>

#include <cstdlib>
#include <map>
#include <vector>

#include "fuzz_check.h"
#include "tools/ini.h"

using namespace anodix;
using namespace anodix::fuzz;

namespace {

std::string Trim(std::string s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.erase(0, 1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.pop_back();
    return s;
}

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

bool Refusable(const std::string& section, const std::string& key, const std::string& value) {
    const std::string s = Trim(section), k = Trim(key);
    auto breaks = [](const std::string& t) { return t.find_first_of("\r\n") != std::string::npos; };
    return s.empty() || k.empty() || breaks(section) || breaks(key) || breaks(value) ||
           s.find(']') != std::string::npos || k.find('=') != std::string::npos || k[0] == ';' || k[0] == '#' ||
           k[0] == '[';
}

// Names of the program's own files, their look-alikes and anything else.
std::string Name(FuzzedDataProvider& in) {
    static const char* kNames[] = {"FORM", "Form", "form", " DATA ", "\tIMPORT", "Mode", "Top", "Import0",
                                   "LAST", "a b", "[x", "x]", "'", "\"q\"", "=", ";c"};
    if (in.ConsumeBool()) return kNames[in.ConsumeIntegralInRange(0, 15)];
    return in.ConsumeRandomLengthString(12);
}

std::string Value(FuzzedDataProvider& in) {
    static const char* kValues[] = {"", " ", "'", "''x", "\"", "\"\"", " a ", "\"a\"", "a=b", "1e999",
                                    "C:\\dir\\a.vyr", "\t", "x\"", "\"x", ";", "[S]"};
    if (in.ConsumeBool()) return kValues[in.ConsumeIntegralInRange(0, 15)];
    return in.ConsumeRandomLengthString(64);
}

// A folder of this process's own, removed when the run ends.
struct Scratch {
    std::string folder;
    Scratch() {
        // Memory-backed where there is such a folder: every write ends in fsync.
        const char* tmp = std::getenv("TMPDIR");
        std::string base = tmp && *tmp ? tmp : "/tmp";
        if (!tmp && ::access("/dev/shm", W_OK) == 0) base = "/dev/shm";
        folder = base + "/anodix-fuzz-ini-XXXXXX";
        if (::mkdtemp(folder.data()) == nullptr) Fail("mkdtemp", folder);
    }
    ~Scratch() { std::system(("rm -rf '" + folder + "'").c_str()); }
};

const std::string& ScratchFolder() {
    static Scratch scratch;
    return scratch.folder;
}

int FilesIn(const std::string& folder) {
    int count = 0;
    if (DIR* d = ::opendir(folder.c_str())) {
        while (const dirent* e = ::readdir(d))
            if (std::string_view(e->d_name) != "." && std::string_view(e->d_name) != "..") ++count;
        ::closedir(d);
    }
    return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const std::string folder = ScratchFolder();
    const std::string file = folder + "/set.vyr";
    ::unlink(file.c_str());
    const std::string before = in.ConsumeRandomLengthString(2048);
    if (!before.empty() || in.ConsumeBool()) {
        FILE* f = std::fopen(file.c_str(), "wb");
        if (!f) Fail("fopen", file);
        std::fwrite(before.data(), 1, before.size(), f);
        std::fclose(f);
    }
    const std::string where = "file \"" + Show(before.substr(0, 300)) + "\"";
    FUZZ_CHECK(IniDocument(before).Bytes() == before, where + "\nread and written back, it changed");

    struct Written {
        std::string section, key, value;
    };
    std::map<std::pair<std::string, std::string>, Written> written;
    std::string steps;
    const int writes = in.ConsumeIntegralInRange(1, 6);
    for (int w = 0; w < writes; ++w) {
        const std::string section = Name(in), key = Name(in), value = Value(in);
        const bool ok = WriteIni(file, section, key, value);
        steps += "\n  WriteIni [" + Show(section) + "] " + Show(key) + " = \"" + Show(value) + "\" -> " +
                 (ok ? "ok" : "refused");
        if (ok) {
            written[{Lower(Trim(section)), Lower(Trim(key))}] = {section, key, value};
        } else {
            FUZZ_CHECK(Refusable(section, key, value), where + steps);
        }
    }
    for (const auto& [name, w] : written) {
        std::string wanted = w.value;
        if (!wanted.empty() && wanted[0] == '\'') wanted.erase(0, 1);
        const std::string got = ReadIni(file, w.section, w.key);
        FUZZ_CHECK(got == wanted, where + steps + "\nReadIni [" + Show(w.section) + "] " + Show(w.key) + " = \"" +
                                      Show(got) + "\", expected \"" + Show(wanted) + "\"");
    }
    FUZZ_CHECK(FilesIn(folder) <= 1, where + steps + "\na temporary file is left");
    return 0;
}
