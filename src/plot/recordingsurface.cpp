#include "plot/recordingsurface.h"

#include <algorithm>

namespace anodix {

RecordingSurface::Call RecordingSurface::Make(Kind kind, Rgb colour) const {
    Call call;
    call.kind = kind;
    call.colour = colour & 0xFFFFFFu;
    call.width = drawWidth_;
    call.mode = drawMode_;
    return call;
}

void RecordingSurface::SetScale(float scaleWidth, float scaleHeight) {
    Call call = Make(Kind::Scale, foreColor_);
    call.x1 = scaleWidth;
    call.y1 = scaleHeight;
    calls.push_back(call);
    scaleWidth_ = scaleWidth;
    scaleHeight_ = scaleHeight;
}

void RecordingSurface::Clear() { calls.push_back(Make(Kind::Clear, foreColor_)); }

void RecordingSurface::Line(float x1, float y1, float x2, float y2) {
    Line(x1, y1, x2, y2, foreColor_);
}

void RecordingSurface::Line(float x1, float y1, float x2, float y2, Rgb colour) {
    Call call = Make(Kind::Line, colour);
    call.x1 = x1;
    call.y1 = y1;
    call.x2 = x2;
    call.y2 = y2;
    calls.push_back(call);
    currentX_ = x2;
    currentY_ = y2;
}

void RecordingSurface::LineTo(float x2, float y2) { LineTo(x2, y2, foreColor_); }

void RecordingSurface::LineTo(float x2, float y2, Rgb colour) {
    Call call = Make(Kind::Line, colour);
    call.x1 = currentX_;
    call.y1 = currentY_;
    call.x2 = x2;
    call.y2 = y2;
    call.fromCurrent = true;
    calls.push_back(call);
    currentX_ = x2;
    currentY_ = y2;
}

void RecordingSurface::Point(float x, float y) { Point(x, y, foreColor_); }

void RecordingSurface::Point(float x, float y, Rgb colour) {
    Call call = Make(Kind::Point, colour);
    call.x1 = x;
    call.y1 = y;
    calls.push_back(call);
    currentX_ = x;
    currentY_ = y;
}

void RecordingSurface::Print(std::string_view text) {
    Call call = Make(Kind::Print, foreColor_);
    call.x1 = currentX_;
    call.y1 = currentY_;
    call.text = std::string(text);
    calls.push_back(call);
    currentX_ = ScaleLeft();
    currentY_ += TextHeight(text);
}

float RecordingSurface::TextHeight(std::string_view text) const {
    return textHeight * static_cast<float>(1 + std::count(text.begin(), text.end(), '\n'));
}

std::vector<RecordingSurface::Call> RecordingSurface::Calls(Kind kind) const {
    std::vector<Call> out;
    for (const Call& call : calls)
        if (call.kind == kind) out.push_back(call);
    return out;
}

}  // namespace anodix
