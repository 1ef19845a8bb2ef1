#pragma once
// A plot surface that keeps the pen like the real one and records the lines drawn and
// the texts printed, for tests of curve drawing.
#include <string>
#include <vector>

#include "plot/surface.h"

namespace anodix::test {

struct DrawnLine {
    float x1, y1, x2, y2;
};
struct PrintedText {
    float x, y;
    std::string text;
    Rgb colour;
};

class Recorder : public PlotSurface {
public:
    std::vector<DrawnLine> lines;
    std::vector<PrintedText> texts;
    std::vector<Rgb> colourSets;  // every SetForeColor
    float textHeight = 1200.0f;

    void SetScale(float w, float h) override { width_ = w; height_ = h; }
    float ScaleWidth() const override { return width_; }
    float ScaleHeight() const override { return height_; }
    void Clear() override {}
    void Line(float x1, float y1, float x2, float y2) override {
        lines.push_back({x1, y1, x2, y2});
        x_ = x2;
        y_ = y2;
    }
    void Line(float x1, float y1, float x2, float y2, Rgb) override { Line(x1, y1, x2, y2); }
    void LineTo(float x2, float y2) override { Line(x_, y_, x2, y2); }
    void LineTo(float x2, float y2, Rgb) override { LineTo(x2, y2); }
    void Point(float x, float y) override { x_ = x; y_ = y; }
    void Point(float x, float y, Rgb) override { Point(x, y); }
    float CurrentX() const override { return x_; }
    float CurrentY() const override { return y_; }
    void SetCurrentX(float x) override { x_ = x; }
    void SetCurrentY(float y) override { y_ = y; }
    Rgb ForeColor() const override { return colour_; }
    void SetForeColor(Rgb c) override {
        colour_ = c;
        colourSets.push_back(c);
    }
    int DrawWidth() const override { return width_px_; }
    void SetDrawWidth(int w) override { width_px_ = w; }
    int DrawMode() const override { return mode_; }
    void SetDrawMode(int m) override { mode_ = m; }
    void Print(std::string_view text) override {
        texts.push_back({x_, y_, std::string(text), colour_});
        x_ = 0.0f;
        y_ += textHeight;
    }
    float TextHeight(std::string_view) const override { return textHeight; }

private:
    float width_ = 65536.0f, height_ = 65536.0f;
    float x_ = 0.0f, y_ = 0.0f;
    Rgb colour_ = 0;
    int width_px_ = 1, mode_ = kDrawCopy;
};

}  // namespace anodix::test
