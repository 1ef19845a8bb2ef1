#pragma once
// A plot surface that records every drawing call with the state it was drawn in, and
// keeps the state like the window's plot does. Tests assert what was drawn with it
// without comparing pixels that depend on the font.
#include <string>
#include <vector>

#include "plot/surface.h"

namespace anodix {

class RecordingSurface : public PlotSurface {
public:
    enum class Kind { Scale, Clear, Line, Point, Print };

    struct Call {
        Kind kind = Kind::Clear;
        float x1 = 0, y1 = 0;  // Line: start; Point, Print: position; Scale: width, height
        float x2 = 0, y2 = 0;  // Line: end
        Rgb colour = 0;        // the colour drawn in (given or the foreground colour)
        int width = 1;
        PenMode mode = kDrawCopy;
        bool fromCurrent = false;  // a line drawn from the current position (LineTo)
        std::string text;          // Print
    };

    std::vector<Call> calls;

    // Height of one line of text in plot units.
    float textHeight = 1200.0f;

    void SetScale(float scaleWidth, float scaleHeight) override;
    float ScaleWidth() const override { return scaleWidth_; }
    float ScaleHeight() const override { return scaleHeight_; }

    void Clear() override;

    void Line(float x1, float y1, float x2, float y2) override;
    void Line(float x1, float y1, float x2, float y2, Rgb colour) override;
    void LineTo(float x2, float y2) override;
    void LineTo(float x2, float y2, Rgb colour) override;

    void Point(float x, float y) override;
    void Point(float x, float y, Rgb colour) override;

    float CurrentX() const override { return currentX_; }
    float CurrentY() const override { return currentY_; }
    void SetCurrentX(float x) override { currentX_ = x; }
    void SetCurrentY(float y) override { currentY_ = y; }

    Rgb ForeColor() const override { return foreColor_; }
    void SetForeColor(Rgb colour) override { foreColor_ = colour & 0xFFFFFFu; }

    int DrawWidth() const override { return drawWidth_; }
    void SetDrawWidth(int width) override { drawWidth_ = width < 1 ? 1 : width; }

    PenMode DrawMode() const override { return drawMode_; }
    void SetDrawMode(PenMode mode) override { drawMode_ = mode; }

    void Print(std::string_view text) override;
    float TextHeight(std::string_view text) const override;

    // The recorded calls of one kind, in order.
    std::vector<Call> Calls(Kind kind) const;

private:
    Call Make(Kind kind, Rgb colour) const;

    float scaleWidth_ = kPlotUnits;
    float scaleHeight_ = kPlotUnits;
    float currentX_ = 0.0f, currentY_ = 0.0f;
    Rgb foreColor_ = RGB(0, 0, 0);
    int drawWidth_ = 1;
    PenMode drawMode_ = kDrawCopy;
};

}  // namespace anodix
