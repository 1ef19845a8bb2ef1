// Fields and paths under hostile input. Properties: FieldCursor gives the fields
// GetField gives for 1, 2, ... and Rest() the text not consumed; GetField gives "" past
// the last field and for 0; no field holds the delimiter and the fields joined with it
// give the text back (a delimiter ending the text opens no field); GetPath, separator
// and GetFileName give the path back, and GetExtension is between the first two dots.
#include <fuzzer/FuzzedDataProvider.h>

#include "fuzz_check.h"
#include "tools/fields.h"

using namespace anodix;
using namespace anodix::fuzz;

namespace {

void CheckFields(std::string_view text, std::string_view delimiter) {
    const std::string where = "text \"" + Show(text) + "\", delimiter \"" + Show(delimiter) + "\"";
    FieldCursor cursor(text, delimiter);
    std::string joined;
    int count = 0;
    for (std::string_view field;; ++count) {
        FUZZ_CHECK(cursor.Rest() == text.substr(std::min(joined.size() + (count ? delimiter.size() : 0), text.size())),
                   where + ": Rest() = \"" + Show(cursor.Rest()) + "\" after field " + std::to_string(count));
        if (!cursor.Next(field)) break;
        FUZZ_CHECK(field == GetField(text, count + 1, delimiter), where + ": field " + std::to_string(count + 1));
        FUZZ_CHECK(delimiter.empty() || field.find(delimiter) == std::string_view::npos,
                   where + ": field " + std::to_string(count + 1) + " holds the delimiter");
        joined += (count ? std::string(delimiter) : "") + std::string(field);
    }
    FUZZ_CHECK(count > 0 && GetField(text, count + 1, delimiter).empty() && GetField(text, 0, delimiter).empty(),
               where + ": a field beyond the last or at index 0");
    FUZZ_CHECK(joined == text || (!delimiter.empty() && joined + std::string(delimiter) == text),
               where + ": fields join to \"" + Show(joined) + "\"");
}

void CheckPath(std::string_view path) {
    const std::string name = GetFileName(path), folder = GetPath(path), extension = GetExtension(path);
    const char separator = path.find('/') != std::string_view::npos ? '/' : '\\';
    const bool split = path.find(separator) != std::string_view::npos;
    const std::size_t dot = name.find('.');
    FUZZ_CHECK((split ? folder + separator + name == path : name == path && folder.empty()) &&
                   name.find(separator) == std::string::npos &&
                   extension == (dot == std::string::npos ? "" : name.substr(dot + 1, name.find('.', dot + 1) - dot - 1)),
               "path \"" + Show(path) + "\": folder \"" + Show(folder) + "\", name \"" + Show(name) + "\", extension \"" +
                   Show(extension) + "\"");
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
