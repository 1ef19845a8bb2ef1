#include "plot/picturelog.h"

#include <algorithm>
#include <bit>
#include <cstdint>

namespace anodix {

namespace {
constexpr std::int32_t kErased = -1;
constexpr std::int32_t kNoText = -2;
}  // namespace

bool PictureLog::Entry::operator==(const Entry& other) const {
    return op == other.op && mode == other.mode && width == other.width &&
           colour == other.colour && x1 == other.x1 && y1 == other.y1 && x2 == other.x2 &&
           y2 == other.y2;
}

void PictureLog::Clear(float scaleWidth, float scaleHeight) {
    ops_.clear();
    chained_.clear();
    texts_.clear();
    xorOps_.clear();
    dead_ = 0;
    scaleWidth_ = scaleWidth;
    scaleHeight_ = scaleHeight;
}

void PictureLog::Add(const Entry& entry) {
    if (entry.mode == kDrawXor) {
        // The program erases an XOR figure by drawing the same calls again: an entry
        // equal to a live XOR entry removes it instead of being added.
        for (auto it = xorOps_.rbegin(); it != xorOps_.rend(); ++it) {
            Entry& earlier = ops_[*it];
            if (earlier == entry &&
                (entry.op != Op::Print || texts_[earlier.text] == texts_.back())) {
                earlier.text = kErased;
                ++dead_;
                xorOps_.erase(std::next(it).base());
                if (entry.op == Op::Print) texts_.pop_back();
                return;
            }
        }
        xorOps_.push_back(ops_.size());
    }
    ops_.push_back(entry);
}

void PictureLog::Scale(float scaleWidth, float scaleHeight) {
    Add({Op::Scale, kDrawCopy, 1, 0, scaleWidth, scaleHeight, 0, 0, kNoText});
}

void PictureLog::Line(float x1, float y1, float x2, float y2, Rgb colour, int width, int mode) {
    if (mode != kDrawXor && !ops_.empty()) {
        Entry& last = ops_.back();
        if (last.op == Op::Line && last.mode == mode && last.colour == colour &&
            last.width == static_cast<std::uint16_t>(width) && last.text == kNoText &&
            last.chainLength < UINT32_MAX) {
            const End end = last.chainLength == 0 ? End{last.x2, last.y2} : chained_.back();
            // The start bit for bit the previous end, so that Replay repeats the call exactly.
            if (std::bit_cast<std::uint32_t>(end.x) == std::bit_cast<std::uint32_t>(x1) &&
                std::bit_cast<std::uint32_t>(end.y) == std::bit_cast<std::uint32_t>(y1)) {
                if (last.chainLength == 0) last.chainStart = static_cast<std::uint32_t>(chained_.size());
                chained_.push_back({x2, y2});
                ++last.chainLength;
                return;
            }
        }
    }
    Add({Op::Line, static_cast<std::uint8_t>(mode), static_cast<std::uint16_t>(width), colour, x1,
         y1, x2, y2, kNoText});
}

void PictureLog::Point(float x, float y, Rgb colour, int width, int mode) {
    Add({Op::Point, static_cast<std::uint8_t>(mode), static_cast<std::uint16_t>(width), colour, x,
         y, 0, 0, kNoText});
}

void PictureLog::Print(float x, float y, std::string_view text, Rgb colour, int mode) {
    texts_.emplace_back(text);
    Add({Op::Print, static_cast<std::uint8_t>(mode), 1, colour, x, y, 0, 0,
         static_cast<std::int32_t>(texts_.size() - 1)});
}

void PictureLog::Replay(PlotSurface& target) const {
    target.SetScale(scaleWidth_, scaleHeight_);
    target.Clear();
    for (const Entry& e : ops_) {
        if (e.text == kErased) continue;
        target.SetDrawMode(e.mode);
        switch (e.op) {
            case Op::Scale:
                target.SetScale(e.x1, e.y1);
                break;
            case Op::Line:
                target.SetDrawWidth(e.width);
                target.Line(e.x1, e.y1, e.x2, e.y2, e.colour);
                for (std::uint32_t k = 0; k < e.chainLength; ++k) {
                    const End from = k == 0 ? End{e.x2, e.y2} : chained_[e.chainStart + k - 1];
                    const End& to = chained_[e.chainStart + k];
                    target.Line(from.x, from.y, to.x, to.y, e.colour);
                }
                break;
            case Op::Point:
                target.SetDrawWidth(e.width);
                target.Point(e.x1, e.y1, e.colour);
                break;
            case Op::Print:
                target.SetForeColor(e.colour);
                target.MoveTo(e.x1, e.y1);
                target.Print(texts_[e.text]);
                break;
        }
    }
}

}  // namespace anodix
