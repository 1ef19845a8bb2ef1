// Fields and paths under hostile input.
//
// Properties checked:
//  - FieldCursor gives exactly the fields GetField gives for indexes 1, 2, ...,
//    and GetField gives "" for every index after the cursor ran out (and for 0 or less);
//  - the fields joined with the delimiter give the text back (a delimiter at the very
//    end of the text opens no field), no field holds the delimiter, and Rest() is the
//    text not yet consumed;
//  - GetPath + separator + GetFileName is the path, GetFileName holds no separator,
//    and GetExtension is the text between the first and second "." of the file name.
#include <fuzzer/FuzzedDataProvider.h>

#include <vector>

#include "fuzz_check.h"
#include "tools/fields.h"

using namespace anodix;
using namespace anodix::fuzz;

namespace {

void CheckFields(std::string_view text, std::string_view delimiter) {
    const std::string where = "text \"" + Show(text) + "\", delimiter \"" + Show(delimiter) + "\"";
    FieldCursor cursor(text, delimiter);
    std::vector<std::string> fields;
    std::size_t consumed = 0;
    std::string_view field;
    for (;;) {
        FUZZ_CHECK(cursor.Rest() == text.substr(std::min(consumed, text.size())),
                   where + ": Rest() = \"" + Show(cursor.Rest()) + "\" after " + std::to_string(fields.size()));
        if (!cursor.Next(field)) break;
        const int index = static_cast<int>(fields.size()) + 1;
        const std::string byIndex = GetField(text, index, delimiter);
        FUZZ_CHECK(field == byIndex, where + ": field " + std::to_string(index) + " cursor \"" + Show(field) +
                                         "\" GetField \"" + Show(byIndex) + "\"");
        if (!delimiter.empty())
            FUZZ_CHECK(field.find(delimiter) == std::string_view::npos, where + ": field holds the delimiter");
        fields.emplace_back(field);
        consumed += field.size() + delimiter.size();
        FUZZ_CHECK(fields.size() <= text.size() + 1, where + ": more fields than characters");
    }
    FUZZ_CHECK(!fields.empty(), where + ": no field at all");
    for (int extra = 0; extra < 3; ++extra) {
        const int index = static_cast<int>(fields.size()) + 1 + extra;
        FUZZ_CHECK(GetField(text, index, delimiter).empty(), where + ": field " + std::to_string(index) + " not empty");
    }
    FUZZ_CHECK(GetField(text, 0, delimiter).empty() && GetField(text, -1, delimiter).empty(), where + ": index <= 0");

    std::string joined;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) joined += delimiter;
        joined += fields[i];
    }
    if (joined != text) {
        // Only a trailing delimiter may be missing.
        FUZZ_CHECK(!delimiter.empty() && joined + std::string(delimiter) == text,
                   where + ": fields join to \"" + Show(joined) + "\"");
    }
}

void CheckPath(std::string_view path) {
    const std::string where = "path \"" + Show(path) + "\"";
    const std::string name = GetFileName(path);
    const std::string folder = GetPath(path);
    const char separator = path.find('/') != std::string_view::npos ? '/' : '\\';
    if (path.find(separator) == std::string_view::npos) {
        FUZZ_CHECK(name == path && folder.empty(), where + ": no separator, name \"" + Show(name) + "\"");
    } else {
        FUZZ_CHECK(folder + separator + name == path,
                   where + ": folder \"" + Show(folder) + "\" name \"" + Show(name) + "\"");
        FUZZ_CHECK(name.find(separator) == std::string::npos, where + ": name holds the separator");
    }
    std::string expected;
    const std::size_t first = name.find('.');
    if (first != std::string::npos) {
        const std::size_t second = name.find('.', first + 1);
        expected = name.substr(first + 1, second == std::string::npos ? std::string::npos : second - first - 1);
    }
    const std::string extension = GetExtension(path);
    FUZZ_CHECK(extension == expected, where + ": extension \"" + Show(extension) + "\"");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 8192) return 0;  // the GetField walk is quadratic; long texts add nothing
    FuzzedDataProvider in(data, size);
    const std::string delimiter = in.ConsumeRandomLengthString(4);
    const std::string text = in.ConsumeRemainingBytesAsString();
    CheckFields(text, delimiter);
    CheckPath(text);
    return 0;
}
