#pragma once
// Curve files read into memory once: TDF text or another tracer's file, recognised by
// its text, becomes the family a slot draws and the family its numbers are taken from.
// A slot keeps what was read with the file's identity and reads the file again only when
// that has changed.
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "curves/family.h"
#include "tools/files.h"

namespace anodix {

// A family as its TDF text draws: the curves in the order of the text, with the numbers
// the text holds (a curve for each change of the grid text, points at 0 V and 0 A left
// out), and the grid step the readout measures Gm with.
struct ShownFamily {
    Family family;
    // The difference of the grid voltages of the last two curves begun (for one curve the
    // magnitude of its grid voltage) as a 32-bit number; none when no curve begins with
    // a grid voltage.
    std::optional<float> gridStep;
};

// TDF text as it draws.
ShownFamily ShownTdf(std::string_view text, std::string name = {});
// A family as its TDF text (TdfText) would draw: every number rounded to the places TDF
// writes, points that round to 0 V and 0 A and curves left without points left out.
ShownFamily ShownAsTdf(const Family& family);

struct CurveFile {
    bool ok = false;
    // When not ok: why the text holds no curves ("line N: why"), or "" when the file
    // could not be read, and then error says why ("no such file or directory").
    std::string reason;
    std::string error;
    // The numbers, for fits and the load line: TDF text as read, a tracer's first family.
    std::shared_ptr<const Family> family;
    // Every family the file holds, in its order (a tracer's file one per screen voltage),
    // the first being `family`: what a fit over all screen voltages takes.
    std::shared_ptr<const std::vector<Family>> families;
    // What the slot draws: the TDF text, or the tracer's first family as its TDF would.
    std::shared_ptr<const ShownFamily> shown;
    // For a file of several families: which one is shown and which others it holds.
    std::string note;
    FileIdentity identity;  // the file's as it was read
};

// Curves from a file's text; families are named `name`.
CurveFile ReadCurveText(std::string_view text, const std::string& name = {});
// Curves from a file, read now in one attempt (no retries, no events).
CurveFile ReadCurveFile(const std::string& path, const std::string& name = {});
// The file read again when its identity differs from the one it was read with: false
// when nothing had changed. A file gone stays gone without another attempt until a file
// appears in its place.
bool RefreshCurveFile(const std::string& path, CurveFile& file, const std::string& name = {});

}  // namespace anodix
