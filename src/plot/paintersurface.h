#pragma once
// The plot's drawing operations painted with QPainter: on any paint device (SVG, PDF,
// printer) through PainterSurface, and on an image of its own through ImageSurface,
// which is what the window's plot shows.
#include <QColor>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPointF>
#include <QSize>
#include <functional>
#include <vector>

#include "plot/surface.h"

namespace anodix {

// The plot's background. White keeps every colour the program draws in (the dark slot
// colours, the green grid, the red limit) in strong contrast; the white XOR load line
// shows black on it and inverted over the curves.
inline constexpr Rgb kBackgroundColour = RGB(255, 255, 255);

// Pixel size of the plot font at one device pixel per logical pixel: 8.25 points at
// 96 dots per inch.
inline constexpr double kFontPixels = 11.0;

class PainterSurface : public PlotSurface {
public:
    // Paints on device, whose drawing area is deviceSize in device units; pixelRatio is
    // the number of device units per logical pixel (pen widths and the font scale with
    // it). On a raster device (snapToPixels) every point is placed on a whole pixel, the
    // plot's edges fall on the first and last pixel, and dots are exact pixel discs; on
    // a vector device the plot spans the whole area, coordinates stay fractional, and XOR
    // drawing, which has no pixels to combine with there, is painted as plain drawing in
    // colours that show on the background (the white load line black).
    PainterSurface(QPaintDevice* device, QSizeF deviceSize, qreal pixelRatio, bool snapToPixels);
    ~PainterSurface() override;
    PainterSurface(const PainterSurface&) = delete;
    PainterSurface& operator=(const PainterSurface&) = delete;

    void SetScale(float scaleWidth, float scaleHeight) override;
    float ScaleWidth() const override { return scaleWidth_; }
    float ScaleHeight() const override { return scaleHeight_; }

    void Clear() override;

    void Line(float x1, float y1, float x2, float y2) final;
    void Line(float x1, float y1, float x2, float y2, Rgb colour) final;
    void LineTo(float x2, float y2) final;
    void LineTo(float x2, float y2, Rgb colour) final;

    void Point(float x, float y) final;
    void Point(float x, float y, Rgb colour) final;

    float CurrentX() const override { return currentX_; }
    float CurrentY() const override { return currentY_; }
    void SetCurrentX(float x) override { currentX_ = x; }
    void SetCurrentY(float y) override { currentY_ = y; }

    Rgb ForeColor() const override { return foreColor_; }
    void SetForeColor(Rgb colour) override { foreColor_ = colour & 0xFFFFFFu; }

    int DrawWidth() const override { return drawWidth_; }
    void SetDrawWidth(int width) override;

    PenMode DrawMode() const override { return drawMode_; }
    void SetDrawMode(PenMode mode) override;

    void Print(std::string_view text) override;
    float TextHeight(std::string_view text) const override;
    float TextWidth(std::string_view text) const override;

    // Draws what is still batched. Every other operation does this first; call it
    // before reading the device.
    void Flush();

    // The painter runs on the device (false when the device refused it).
    bool IsPainting() const { return painter_.isActive(); }

    // Where the plot's top-left corner lies on the device (a printed plot is centred on
    // its page). Set before drawing.
    void SetOrigin(QPointF deviceOrigin) { origin_ = deviceOrigin; }

    // Plot units <-> device units (fractional).
    QPointF ToDevice(float x, float y) const;
    QPointF FromDevice(QPointF device) const;

    qreal PixelRatio() const { return pixelRatio_; }
    // Diameter in device units of a pen of the given draw width.
    int PenDiameter(int width) const;

    // Called after every operation that changed the device's picture.
    std::function<void()> onChanged;

protected:
    // For a surface that sets up its own device before painting (see Attach).
    PainterSurface();
    // Paints on device from now on; the painter starts at the next operation.
    void Attach(QPaintDevice* device, QSizeF deviceSize, qreal pixelRatio, bool snapToPixels);
    // Ends the painter (after drawing what is batched); the next operation starts it again.
    void EndPainting();

private:
    QPainter& Painter();
    void UpdateFactors();
    void SetComposition(QPainter& painter, bool xorPixels);
    QColor PenColour(Rgb colour) const;
    // XOR drawing is combined with the pixels: on a raster device in XOR mode.
    bool XorPixels() const { return snap_ && drawMode_ == kDrawXor; }
    // The colour a call draws in on this device.
    Rgb DrawnColour(Rgb colour) const;
    void Changed();

    void DrawSegment(float x1, float y1, float x2, float y2, Rgb colour);
    void DrawDot(float x, float y, Rgb colour);
    void FillDisc(QPainter& painter, int ix, int iy, int diameter, Rgb colour);
    // Fills a rectangle of pixels in the colour, combined by XOR when xorPixels: straight
    // into the image's scanlines when it is one, else through the painter.
    void FillPixels(QPainter& painter, QRect rect, Rgb colour, bool xorPixels);
    // The image's pixels, written directly (nullptr: paint through the painter).
    QRgb* RasterBits();
    // Draws the pending polyline straight into the image, as discs of the pen's diameter
    // along each line's pixels.
    void RasterPolyline(QRgb* bits, int diameter);
    void UpdateClip();
    void ThinXorLine(QPainter& painter, QPoint from, QPoint to, Rgb colour);
    // Clips the segment (device units) to the area around the device; false when
    // nothing of it remains or a coordinate is not a number.
    bool ClipToDevice(double& x1, double& y1, double& x2, double& y2) const;

    QPaintDevice* device_ = nullptr;
    QPainter painter_;
    QSizeF deviceSize_;
    QPointF origin_;
    qreal pixelRatio_ = 1.0;
    bool snap_ = true;

    // The device when it is an image with 32-bit pixels and the plot at its corner.
    QImage* raster_ = nullptr;
    // The pen's diameter in device units and the clip area around the device, kept
    // current with the width: every one of the limit's 65536 segments needs them.
    int diameter_ = 1;
    double clipLeft_ = 0.0, clipTop_ = 0.0, clipRight_ = 0.0, clipBottom_ = 0.0;

    float scaleWidth_ = kPlotUnits;
    float scaleHeight_ = kPlotUnits;
    double toDeviceX_ = 0.0, toDeviceY_ = 0.0;  // device units per plot unit

    float currentX_ = 0.0f, currentY_ = 0.0f;
    Rgb foreColor_ = RGB(0, 0, 0);
    int drawWidth_ = 1;
    PenMode drawMode_ = kDrawCopy;

    QFont font_, fontXor_;
    double fontHeight_ = 0.0;  // device units per text line
    double fontAscent_ = 0.0;

    // Consecutive copy-mode lines batched as one polyline in whole pixels, drawn by
    // Flush: the dissipation limit alone is 65536 one-unit segments.
    std::vector<QPoint> pending_;    // on pixels
    std::vector<QPointF> pendingF_;  // on a vector device
    Rgb pendingColour_ = 0;
};

// A plot painted on an image of its own (RGB32) of a given pixel size and pixel ratio.
class ImageSurface : public PainterSurface {
public:
    explicit ImageSurface(QSize pixels = QSize(1, 1), qreal pixelRatio = 1.0);
    ~ImageSurface() override;

    // A new image of the given size (at least 1 x 1 pixel), cleared; the drawing state
    // (scale, colours, width, mode, position, Tag) is kept.
    void Resize(QSize pixels, qreal pixelRatio);

    // The picture with everything drawn so far. The reference stays valid until the next
    // Resize; copies of it do not change with later drawing.
    const QImage& image();

private:
    QImage image_;
};

}  // namespace anodix
