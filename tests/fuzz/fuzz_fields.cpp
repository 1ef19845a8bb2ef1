// Fields and paths under hostile input. Properties: no field holds the delimiter, and
// the fields joined with it give the text back; GetField gives "" past the last field
// and for 0; GetPath, separator and GetFileName give the path back, GetFileName holds
// no separator, and GetExtension is the text between the file name's first two dots.
#include <fuzzer/FuzzedDataProvider.h>

#include "fuzz_check.h"
#include "tools/fields.h"

using namespace anodix;
using namespace anodix::fuzz;

namespace {

void CheckFields(std::string_view text, std::string_view delimiter) {
    const std::string where = "text \"" + Show(text) + "\", delimiter \"" + Show(delimiter) + "\": ";
    std::string joined;
    int index = 0;
    do {
        const std::string field = GetField(text, ++index, delimiter);
        FUZZ_CHECK(delimiter.empty() || field.find(delimiter) == std::string::npos,
                   where + "field " + std::to_string(index) + " holds the delimiter");
        joined += (index > 1 ? std::string(delimiter) : "") + field;
    } while (joined.size() < text.size() && index <= static_cast<int>(text.size()));
    FUZZ_CHECK(joined == text, where + "the fields join to \"" + Show(joined) + "\"");
    FUZZ_CHECK(GetField(text, index + 1, delimiter).empty() && GetField(text, 0, delimiter).empty(),
               where + "a field beyond the last or at index 0");
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
