#pragma once
// What the plot shows, as drawing calls: every call since the plot was last cleared,
// with an XOR figure and its erasing twin both left out. Drawing the log again on
// another surface (an SVG or PDF page, a larger image) repeats the picture.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "plot/surface.h"

namespace anodix {

class PictureLog {
public:
    // The plot was cleared: the log starts again at the scale in force.
    void Clear(float scaleWidth, float scaleHeight);
    void Scale(float scaleWidth, float scaleHeight);
    void Line(float x1, float y1, float x2, float y2, Rgb colour, int width, int mode);
    void Point(float x, float y, Rgb colour, int width, int mode);
    void Print(float x, float y, std::string_view text, Rgb colour, int mode);

    // Clears target and draws the logged calls on it; the target's pen, mode, width and
    // position are as the last call left them.
    void Replay(PlotSurface& target) const;

    // Calls that are drawn by Replay.
    std::size_t size() const { return ops_.size() - dead_ + chained_.size(); }

private:
    enum class Op : std::uint8_t { Scale, Line, Point, Print };
    struct Entry {
        Op op;
        std::uint8_t mode;
        std::uint16_t width;
        Rgb colour;
        float x1, y1, x2, y2;
        std::int32_t text;  // index into texts_ for Print, -1 for an erased entry
        // A copy-mode line is followed by this many lines of its colour and width, each
        // from the end of the one before to the next of chained_ from chainStart on.
        std::uint32_t chainStart = 0, chainLength = 0;
        bool operator==(const Entry& other) const;
    };
    void Add(const Entry& entry);

    float scaleWidth_ = kPlotUnits, scaleHeight_ = kPlotUnits;
    std::vector<Entry> ops_;
    // End points of lines that continue a copy-mode line (a curve, the dissipation
    // limit's 65536 steps), kept as points rather than whole entries.
    struct End {
        float x, y;
    };
    std::vector<End> chained_;
    std::vector<std::string> texts_;
    std::vector<std::size_t> xorOps_;  // live XOR entries, where an erasing twin is looked for
    std::size_t dead_ = 0;
};

}  // namespace anodix
