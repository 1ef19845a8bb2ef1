#pragma once
// A tube's curve file read into its families: the one place where the stage's tools read
// a file, through the program's readers of TDF and other tracers' files.
#include <string>
#include <vector>

#include "curves/family.h"

namespace anodix {

struct TubeFile {
    bool ok = false;
    std::string name;              // the file's name without its last extension ("EL34_a")
    std::vector<Family> families;  // one, or one per screen voltage, each named `name`
    std::string reason;            // why not ok: "can't open ...", "line N: why"
};

TubeFile ReadTubeFile(const std::string& path);

}  // namespace anodix
