// INI documents under hostile input: the bytes of a file of any content, then a few
// keys of any section, key and value set on it, each read back from the document's
// bytes as WriteIni and ReadIni do with the file.
//
// Properties checked:
//  - a document read and written back unchanged gives the file's bytes back;
//  - a refused set leaves the document as it was, and names and a value of letters and
//    digits only are never refused;
//  - after the sets, every key set reads back with its last value (one leading
//    apostrophe removed), whatever the file held before.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cctype>
#include <map>

#include "fuzz_check.h"
#include "tools/ini.h"

using namespace anodix;
using namespace anodix::fuzz;

namespace {

// A name as the document matches it: without surrounding blanks and TABs, in lower case.
std::string Folded(std::string_view s) {
    const std::size_t from = s.find_first_not_of(" \t");
    std::string out(from == s.npos ? "" : s.substr(from, s.find_last_not_of(" \t") - from + 1));
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

// Letters and digits only, and something of them unless `empty` may be.
bool Plain(const std::string& s, bool empty = false) {
    return (empty || !s.empty()) &&
           std::all_of(s.begin(), s.end(), [](unsigned char c) { return std::isalnum(c); });
}

// Names of the program's own files, their look-alikes and anything else.
std::string Name(FuzzedDataProvider& in) {
    static const char* kNames[] = {"FORM", "Form",    "form", " DATA ", "\tIMPORT", "Mode",
                                   "Top",  "Import0", "LAST", "a b",    "[x",       "x]",
                                   "'",    "\"q\"",   "=",    ";c"};
    if (in.ConsumeBool()) return kNames[in.ConsumeIntegralInRange(0, 15)];
    return in.ConsumeRandomLengthString(12);
}

std::string Value(FuzzedDataProvider& in) {
    static const char* kValues[] = {
        "",   " ",   "'",   "''x", "\"", "\"\"", " a ", "\"a\"", "a=b", "1e999", "C:\\dir\\a.vyr",
        "\t", "x\"", "\"x", ";",   "[S]"};
    if (in.ConsumeBool()) return kValues[in.ConsumeIntegralInRange(0, 15)];
    return in.ConsumeRandomLengthString(64);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const std::string before = in.ConsumeRandomLengthString(2048);
    const std::string where = "file \"" + Show(before.substr(0, 300)) + "\"";
    IniDocument document(before);
    FUZZ_CHECK(document.Bytes() == before, where + "\nread and written back, it changed");

    std::map<std::pair<std::string, std::string>, std::string>
        written;  // section and key in lower case -> value
    std::string steps;
    for (int w = in.ConsumeIntegralInRange(1, 6); w > 0; --w) {
        const std::string section = Name(in), key = Name(in), value = Value(in);
        const std::string was = document.Bytes();
        const bool ok = document.Set(section, key, value);
        steps += "\n  Set [" + Show(section) + "] " + Show(key) + " = \"" + Show(value) + "\" -> " +
                 (ok ? "ok" : "refused");
        FUZZ_CHECK(ok || (document.Bytes() == was &&
                          !(Plain(section) && Plain(key) && Plain(value, true))),
                   where + steps);
        document = IniDocument(document.Bytes());
        if (ok) written[{Folded(section), Folded(key)}] = value;
    }
    for (const auto& [name, value] : written) {
        const std::string wanted = !value.empty() && value[0] == '\'' ? value.substr(1) : value;
        const std::string got = document.Get(name.first, name.second);
        FUZZ_CHECK(got == wanted, where + steps + "\nGet [" + Show(name.first) + "] " +
                                      Show(name.second) + " = \"" + Show(got) + "\", expected \"" +
                                      Show(wanted) + "\"");
    }
    return 0;
}
