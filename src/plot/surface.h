#pragma once
// The drawing operations of the plot. The plot frame, the curve drawing, the load
// line and the markers draw only through this interface; the window's plot paints
// it onto an image, tests record it, the picture export paints it onto SVG or PDF.
#include <cstdint>
#include <string>
#include <string_view>

namespace anodix {

// 24-bit colour as 0xRRGGBB.
using Rgb = std::uint32_t;
constexpr Rgb RGB(int r, int g, int b) {
    return (static_cast<Rgb>(r & 255) << 16) | (static_cast<Rgb>(g & 255) << 8) |
           static_cast<Rgb>(b & 255);
}

// Plot units: x from 0 (left) to ScaleWidth (right), y from 0 (top) to ScaleHeight
// (bottom); the program sets both to 65536.
constexpr float kPlotUnits = 65536.0f;

// How a drawing combines with the picture: the pen colour replaces the pixel (copy),
// or the pixel is XORed with it, so that drawing the same figure again takes it off.
// The numbers are the classic draw-mode codes.
enum PenMode : int { kDrawXor = 7, kDrawCopy = 13 };

class PlotSurface {
public:
    virtual ~PlotSurface() = default;

    // User scale. Points far outside are clipped, never refused.
    virtual void SetScale(float scaleWidth, float scaleHeight) = 0;
    virtual float ScaleWidth() const = 0;
    virtual float ScaleHeight() const = 0;
    virtual float ScaleLeft() const { return 0.0f; }

    // Fills the whole area with the background colour.
    virtual void Clear() = 0;

    // Lines in the foreground colour or in a given colour; the end point becomes the
    // current position.
    virtual void Line(float x1, float y1, float x2, float y2) = 0;
    virtual void Line(float x1, float y1, float x2, float y2, Rgb colour) = 0;
    virtual void LineTo(float x2, float y2) = 0;
    virtual void LineTo(float x2, float y2, Rgb colour) = 0;

    // A round dot centred on (x, y) whose diameter is the draw width in pixels;
    // (x, y) becomes the current position.
    virtual void Point(float x, float y) = 0;
    virtual void Point(float x, float y, Rgb colour) = 0;

    virtual float CurrentX() const = 0;
    virtual float CurrentY() const = 0;
    virtual void SetCurrentX(float x) = 0;
    virtual void SetCurrentY(float y) = 0;
    void MoveTo(float x, float y) {
        SetCurrentX(x);
        SetCurrentY(y);
    }

    virtual Rgb ForeColor() const = 0;
    virtual void SetForeColor(Rgb colour) = 0;

    // Pen width in pixels for lines and dots (1, 2, 5 and 12 are used).
    virtual int DrawWidth() const = 0;
    virtual void SetDrawWidth(int width) = 0;

    virtual PenMode DrawMode() const = 0;
    virtual void SetDrawMode(PenMode mode) = 0;

    // Prints text with its top-left corner at the current position in the foreground
    // colour, background left visible, then a line break (x = 0, one text height lower).
    virtual void Print(std::string_view text) = 0;
    // Height of the text in plot units.
    virtual float TextHeight(std::string_view text) const = 0;
    // Width of the text's longest line in plot units; here an estimate of 0.6 text
    // heights a character, for surfaces without a font.
    virtual float TextWidth(std::string_view text) const;

    // One text slot: a routine that changes the foreground colour keeps the old one
    // here as decimal text and restores it from here.
    std::string Tag;

    // Keeps the foreground colour in Tag / restores it from Tag.
    void KeepForeColor();
    void RestoreForeColor();
};

}  // namespace anodix
