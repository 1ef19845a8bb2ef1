#pragma once
// The recording plot surface, with the lines drawn and the texts printed picked out
// for tests of curve drawing.
#include <string>
#include <vector>

#include "plot/recordingsurface.h"

namespace anodix::test {

struct DrawnLine {
    float x1, y1, x2, y2;
};
struct PrintedText {
    float x, y;
    std::string text;
    Rgb colour;
};

class Recorder : public RecordingSurface {
public:
    std::vector<DrawnLine> Lines() const {
        std::vector<DrawnLine> out;
        for (const Call& c : Calls(Kind::Line)) out.push_back({c.x1, c.y1, c.x2, c.y2});
        return out;
    }
    std::vector<PrintedText> Texts() const {
        std::vector<PrintedText> out;
        for (const Call& c : Calls(Kind::Print)) out.push_back({c.x1, c.y1, c.text, c.colour});
        return out;
    }
};

}  // namespace anodix::test
