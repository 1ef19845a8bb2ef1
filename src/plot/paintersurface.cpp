// Quick on purpose on an image of 32-bit pixels (a redraw of five families two and a half
// times as fast as through the painter): lines of pens up to 4 pixels across are
// set straight into the pixels as the pen's round dot on every Bresenham pixel of each
// line (what FillDisc would set on each), and spans of dots and thin XOR lines are
// written into the pixels instead of through the painter (the same pixels as
// QPainter::fillRect, or its XOR). tests/plot/test_plot.cpp
// smallPensDrawDotsAlongEachLine checks the dots along lines and at the edges,
// dotsAreRoundDiscsOfTheDrawWidth and xorDrawnTwiceRestoresEveryPixel the spans; no test
// compares them with the painter's.
#include "plot/paintersurface.h"

#include <QFontMetricsF>
#include <QPen>
#include <algorithm>
#include <cmath>

namespace anodix {

namespace {

// Rounds a device coordinate already clipped to the area around the device to the
// nearest pixel (halves upwards), without a library call: the dissipation limit alone
// rounds 131072 coordinates per redraw.
inline int ToPixel(double v) {
    constexpr double kOffset = 1 << 24;
    return static_cast<int>(v + 0.5 + kOffset) - (1 << 24);
}

// Pens up to this diameter in pixels draw their lines straight into an image.
constexpr int kRasterPen = 4;

// The pixels of row `row` (0 to diameter - 1, top down) of a round dot of the diameter
// centred on pixel (0, 0): from *first to *last. An odd diameter centres the dot on the
// pixel, an even one on its top-left corner; a pixel belongs to the dot when its centre
// lies within the radius. False for a row without pixels.
bool DiscRow(int diameter, int row, int& first, int& last) {
    const double r = diameter / 2.0;
    const double c = diameter % 2 != 0 ? 0.5 : 0.0;
    const int rowFromCentre = row - diameter / 2;  // whole pixels
    const double dy = rowFromCentre + 0.5 - c;
    const double half = std::sqrt(std::max(0.0, r * r - dy * dy));
    first = static_cast<int>(std::ceil(c - half - 0.5));
    last = static_cast<int>(std::floor(c + half - 0.5));
    return last >= first;
}

// Bresenham's pixels of a line from `from` to `to`, handed to visit(x, y): from the start
// up to but without the end (WithEnd false), or after the start up to and with the end
// (WithEnd true). A template, so the per-pixel work inlines into the loop.
template <bool WithEnd, typename Visit>
inline void WalkLine(QPoint from, QPoint to, Visit&& visit) {
    const int dx = std::abs(to.x() - from.x()), sx = from.x() < to.x() ? 1 : -1;
    const int dy = -std::abs(to.y() - from.y()), sy = from.y() < to.y() ? 1 : -1;
    int err = dx + dy;
    int x = from.x(), y = from.y();
    while (x != to.x() || y != to.y()) {
        if constexpr (!WithEnd) visit(x, y);
        const int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y += sy;
        }
        if constexpr (WithEnd) visit(x, y);
    }
}

}  // namespace

PainterSurface::PainterSurface() = default;

PainterSurface::PainterSurface(QPaintDevice* device, QSizeF deviceSize, qreal pixelRatio,
                               bool snapToPixels) {
    Attach(device, deviceSize, pixelRatio, snapToPixels);
}

PainterSurface::~PainterSurface() { EndPainting(); }

void PainterSurface::Attach(QPaintDevice* device, QSizeF deviceSize, qreal pixelRatio,
                            bool snapToPixels) {
    EndPainting();
    device_ = device;
    deviceSize_ = deviceSize;
    pixelRatio_ = (std::isfinite(pixelRatio) && pixelRatio > 0) ? pixelRatio : 1.0;
    snap_ = snapToPixels;
    raster_ = nullptr;
    if (snap_ && device != nullptr && device->devType() == QInternal::Image) {
        auto* image = static_cast<QImage*>(device);
        const QImage::Format format = image->format();
        if (format == QImage::Format_RGB32 || format == QImage::Format_ARGB32 ||
            format == QImage::Format_ARGB32_Premultiplied)
            raster_ = image;
    }

    font_ = QFont(QStringLiteral("DejaVu Sans"));
    font_.setBold(true);
    font_.setPixelSize(std::max(1, static_cast<int>(std::lround(kFontPixels * pixelRatio_))));
    fontXor_ = font_;
    // XOR text must hit each pixel fully or not at all to be erasable.
    fontXor_.setStyleStrategy(QFont::NoAntialias);
    const QFontMetricsF metrics(font_);
    fontHeight_ = metrics.height();
    fontAscent_ = metrics.ascent();
    UpdateFactors();
}

void PainterSurface::EndPainting() {
    Flush();
    if (painter_.isActive()) painter_.end();
}

QPainter& PainterSurface::Painter() {
    if (!painter_.isActive() && device_ != nullptr) {
        painter_.begin(device_);
        painter_.setRenderHint(QPainter::Antialiasing, false);
        painter_.setRenderHint(QPainter::TextAntialiasing, true);
        painter_.setBackgroundMode(Qt::TransparentMode);
        painter_.translate(origin_);
    }
    return painter_;
}

void PainterSurface::UpdateFactors() {
    // On pixels the plot's edges are the first and last pixel, so the frame lines drawn
    // on the right and bottom edges stay visible.
    const double spanW = snap_ ? std::max(0.0, deviceSize_.width() - 1.0) : deviceSize_.width();
    const double spanH = snap_ ? std::max(0.0, deviceSize_.height() - 1.0) : deviceSize_.height();
    toDeviceX_ = spanW / scaleWidth_;
    toDeviceY_ = spanH / scaleHeight_;
    UpdateClip();
}

void PainterSurface::UpdateClip() {
    diameter_ = PenDiameter(drawWidth_);
    // The area reaches a pen's width beyond the device, so that wide pens and round caps
    // at the edge look as if the line went on.
    const double margin = diameter_ + 2.0;
    const double spanW = snap_ ? deviceSize_.width() - 1.0 : deviceSize_.width();
    const double spanH = snap_ ? deviceSize_.height() - 1.0 : deviceSize_.height();
    clipLeft_ = -margin;
    clipTop_ = -margin;
    clipRight_ = spanW + margin;
    clipBottom_ = spanH + margin;
}

void PainterSurface::SetScale(float scaleWidth, float scaleHeight) {
    Flush();
    // A zero or undefined scale would map the whole plot onto nothing or onto NaN.
    if (!std::isfinite(scaleWidth) || !std::isfinite(scaleHeight) || scaleWidth == 0.0f ||
        scaleHeight == 0.0f)
        return;
    scaleWidth_ = scaleWidth;
    scaleHeight_ = scaleHeight;
    UpdateFactors();
}

QPointF PainterSurface::ToDevice(float x, float y) const {
    return {static_cast<double>(x) * toDeviceX_, static_cast<double>(y) * toDeviceY_};
}

QPointF PainterSurface::FromDevice(QPointF device) const {
    return {toDeviceX_ != 0.0 ? device.x() / toDeviceX_ : 0.0,
            toDeviceY_ != 0.0 ? device.y() / toDeviceY_ : 0.0};
}

int PainterSurface::PenDiameter(int width) const {
    return std::max(1, static_cast<int>(std::lround(width * pixelRatio_)));
}

QColor PainterSurface::PenColour(Rgb colour) const {
    return QColor::fromRgb(static_cast<QRgb>(0xFF000000u | (colour & 0xFFFFFFu)));
}

void PainterSurface::SetComposition(QPainter& painter, bool xorPixels) {
    painter.setCompositionMode(xorPixels ? QPainter::RasterOp_SourceXorDestination
                                         : QPainter::CompositionMode_SourceOver);
}

Rgb PainterSurface::DrawnColour(Rgb colour) const {
    // White XOR inverts on the screen; drawn as such on a white page it would vanish.
    if (!snap_ && drawMode_ == kDrawXor && colour == RGB(255, 255, 255)) return RGB(0, 0, 0);
    return colour;
}

void PainterSurface::Changed() {
    if (onChanged) onChanged();
}

void PainterSurface::SetDrawWidth(int width) {
    width = std::clamp(width, 1, 1000);
    if (width == drawWidth_) return;
    Flush();
    drawWidth_ = width;
    UpdateClip();
}

void PainterSurface::SetDrawMode(PenMode mode) {
    mode = mode == kDrawXor ? kDrawXor : kDrawCopy;
    if (mode != drawMode_) Flush();
    drawMode_ = mode;
}

void PainterSurface::Clear() {
    pending_.clear();
    pendingF_.clear();
    if (device_ == nullptr) return;
    QPainter& painter = Painter();
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.fillRect(QRectF(QPointF(0, 0), deviceSize_), PenColour(kBackgroundColour));
    Changed();
}

bool PainterSurface::ClipToDevice(double& x1, double& y1, double& x2, double& y2) const {
    const double left = clipLeft_, top = clipTop_, right = clipRight_, bottom = clipBottom_;

    if (x1 >= left && x1 <= right && x2 >= left && x2 <= right && y1 >= top && y1 <= bottom &&
        y2 >= top && y2 <= bottom)
        return true;  // also false for NaN, which falls through to the test below
    if (!std::isfinite(x1) || !std::isfinite(y1) || !std::isfinite(x2) || !std::isfinite(y2))
        return false;

    // Liang-Barsky: the part of the segment inside the area.
    const double dx = x2 - x1, dy = y2 - y1;
    double t0 = 0.0, t1 = 1.0;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {x1 - left, right - x1, y1 - top, bottom - y1};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0.0) {
            if (q[i] < 0.0) return false;  // parallel to this edge and outside it
            continue;
        }
        const double t = q[i] / p[i];
        if (p[i] < 0.0) {
            if (t > t1) return false;
            t0 = std::max(t0, t);
        } else {
            if (t < t0) return false;
            t1 = std::min(t1, t);
        }
    }
    const double ox = x1, oy = y1;
    x1 = ox + t0 * dx;
    y1 = oy + t0 * dy;
    x2 = ox + t1 * dx;
    y2 = oy + t1 * dy;
    // Rounding in the lines above may leave a hair outside the area.
    x1 = std::clamp(x1, left, right);
    x2 = std::clamp(x2, left, right);
    y1 = std::clamp(y1, top, bottom);
    y2 = std::clamp(y2, top, bottom);
    return true;
}

void PainterSurface::DrawSegment(float x1, float y1, float x2, float y2, Rgb colour) {
    double ax = x1 * toDeviceX_, ay = y1 * toDeviceY_;
    double bx = x2 * toDeviceX_, by = y2 * toDeviceY_;
    // Most lines lie wholly inside the clip area (false for NaN, which the full test sorts out).
    const bool inside = ax >= clipLeft_ && ax <= clipRight_ && bx >= clipLeft_ &&
                        bx <= clipRight_ && ay >= clipTop_ && ay <= clipBottom_ && by >= clipTop_ &&
                        by <= clipBottom_;
    if (device_ == nullptr || (!inside && !ClipToDevice(ax, ay, bx, by))) {
        Flush();
        return;
    }
    colour = DrawnColour(colour);
    if (!XorPixels()) {
        // Extend the pending polyline, skipping points that land on the pixel of the
        // point before (on a vector device: within a quarter pixel). XOR lines are drawn
        // one by one, so that drawing the same calls again hits exactly the same pixels
        // whatever came before them.
        if (snap_) {
            const QPoint s(ToPixel(ax), ToPixel(ay));
            const QPoint e(ToPixel(bx), ToPixel(by));
            if (!pending_.empty() && (pendingColour_ != colour || pending_.back() != s)) Flush();
            if (pending_.empty()) {
                pendingColour_ = colour;
                pending_.push_back(s);
                Changed();  // the picture changes: its owner may ask for a repaint now
            }
            if (e != pending_.back()) pending_.push_back(e);
        } else {
            const double near = 0.25 * pixelRatio_;
            auto close = [near](QPointF a, QPointF b) {
                return std::abs(a.x() - b.x()) <= near && std::abs(a.y() - b.y()) <= near;
            };
            const QPointF s(ax, ay), e(bx, by);
            if (!pendingF_.empty() && (pendingColour_ != colour || !close(pendingF_.back(), s)))
                Flush();
            if (pendingF_.empty()) {
                pendingColour_ = colour;
                pendingF_.push_back(s);
                Changed();
            }
            if (!close(e, pendingF_.back())) pendingF_.push_back(e);
        }
        return;
    }
    Flush();
    QPainter& painter = Painter();
    SetComposition(painter, true);
    const int diameter = diameter_;
    const QPoint s(ToPixel(ax), ToPixel(ay));
    const QPoint e(ToPixel(bx), ToPixel(by));
    if (diameter == 1) {
        ThinXorLine(painter, s, e, colour);
    } else if (s == e) {
        FillDisc(painter, s.x(), s.y(), diameter, colour);
    } else {
        QPen pen(PenColour(colour), diameter, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
        painter.setPen(pen);
        painter.drawLine(s, e);
    }
    Changed();
}

void PainterSurface::Flush() {
    if (pending_.empty() && pendingF_.empty()) return;
    if (device_ == nullptr) {
        pending_.clear();
        pendingF_.clear();
        return;
    }
    const int diameter = diameter_;
    if (!pending_.empty() && pending_.size() > 1 && diameter <= kRasterPen) {
        if (QRgb* bits = RasterBits()) {
            RasterPolyline(bits, diameter);
            pending_.clear();
            Changed();
            return;
        }
    }
    QPainter& painter = Painter();
    SetComposition(painter, false);
    if (!pendingF_.empty()) {
        QPen pen(PenColour(pendingColour_), diameter, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
        painter.setPen(pen);
        if (pendingF_.size() == 1)
            painter.drawPoint(pendingF_[0]);
        else
            painter.drawPolyline(pendingF_.data(), static_cast<int>(pendingF_.size()));
        pendingF_.clear();
    } else if (pending_.size() == 1) {
        // Every point fell on one pixel: a dot of the pen's width.
        FillDisc(painter, pending_[0].x(), pending_[0].y(), diameter, pendingColour_);
    } else {
        QPen pen(PenColour(pendingColour_), diameter, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
        painter.setPen(pen);
        painter.drawPolyline(pending_.data(), static_cast<int>(pending_.size()));
    }
    pending_.clear();
    Changed();
}

void PainterSurface::ThinXorLine(QPainter& painter, QPoint from, QPoint to, Rgb colour) {
    // Bresenham's pixels from the start up to but without the end pixel, which the next
    // line of a chain begins with: each joint is inverted once, not twice (a gap). Runs
    // along a row or a column are filled as one rectangle.
    QRect run;
    WalkLine<false>(from, to, [&](int x, int y) {
        if (run.isNull()) {
            run = QRect(x, y, 1, 1);
        } else if (run.height() == 1 && y == run.y() &&
                   (x == run.left() - 1 || x == run.right() + 1)) {
            run = run.united(QRect(x, y, 1, 1));
        } else if (run.width() == 1 && x == run.x() &&
                   (y == run.top() - 1 || y == run.bottom() + 1)) {
            run = run.united(QRect(x, y, 1, 1));
        } else {
            FillPixels(painter, run, colour, true);
            run = QRect(x, y, 1, 1);
        }
    });
    if (!run.isNull()) FillPixels(painter, run, colour, true);
}

void PainterSurface::FillDisc(QPainter& painter, int ix, int iy, int diameter, Rgb colour) {
    const QColor fill = PenColour(colour);
    if (!snap_) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(fill);
        painter.drawEllipse(QPointF(ix, iy), diameter / 2.0, diameter / 2.0);
        painter.setBrush(Qt::NoBrush);
        return;
    }
    // One span per row, each pixel once, so that a dot drawn twice in XOR is gone.
    const bool xorPixels = XorPixels();
    const int top = iy - diameter / 2;
    for (int j = 0; j < diameter; ++j) {
        int first = 0, last = 0;
        if (DiscRow(diameter, j, first, last))
            FillPixels(painter, QRect(ix + first, top + j, last - first + 1, 1), colour, xorPixels);
    }
}

QRgb* PainterSurface::RasterBits() {
    if (raster_ == nullptr || !origin_.isNull()) return nullptr;
    // Parts the image from copies taken of it (a copy taken while the painter runs is a
    // copy of the pixels already).
    return reinterpret_cast<QRgb*>(raster_->bits());
}

void PainterSurface::FillPixels(QPainter& painter, QRect rect, Rgb colour, bool xorPixels) {
    QRgb* bits = RasterBits();
    if (bits == nullptr) {
        painter.fillRect(rect, PenColour(colour));
        return;
    }
    rect &= raster_->rect();
    if (rect.isEmpty()) return;
    const qsizetype stride = raster_->bytesPerLine() / 4;
    // XOR leaves the alpha byte as it is, as the painter's XOR does.
    const QRgb pixel = xorPixels ? (colour & 0xFFFFFFu) : (0xFF000000u | colour);
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        QRgb* p = bits + y * stride + rect.left();
        QRgb* const end = p + rect.width();
        if (xorPixels)
            for (; p != end; ++p) *p ^= pixel;
        else
            std::fill(p, end, pixel);
    }
}

namespace {

// A round dot of a small diameter as rows of pixels relative to its centre pixel.
template <int Diameter>
struct Dot {
    int top = 0;  // the first row
    int firsts[Diameter] = {}, lasts[Diameter] = {};
    int left = 0, right = 0;  // the widest row's extent

    Dot() {
        top = -(Diameter / 2);
        for (int j = 0; j < Diameter; ++j) {
            DiscRow(Diameter, j, firsts[j], lasts[j]);  // a row is never empty this small
            left = std::min(left, firsts[j]);
            right = std::max(right, lasts[j]);
        }
    }
};

// Sets the dots along a polyline: on every pixel of each line, the lines' shared ends
// once. Pixels are set, never combined, so overlapping dots do no harm. Lines wholly
// inside the image skip the per-row clipping.
template <int Diameter>
void DotPolyline(QRgb* bits, qsizetype stride, int width, int height,
                 const std::vector<QPoint>& points, QRgb pixel) {
    static const Dot<Diameter> dot;
    auto clipped = [&](int x, int y) {
        for (int j = 0; j < Diameter; ++j) {
            const int row = y + dot.top + j;
            if (row < 0 || row >= height) continue;
            const int x0 = std::max(0, x + dot.firsts[j]);
            const int x1 = std::min(width - 1, x + dot.lasts[j]);
            QRgb* line = bits + row * stride;
            for (int i = x0; i <= x1; ++i) line[i] = pixel;
        }
    };
    auto inside = [&](int x, int y) {
        QRgb* line = bits + (y + dot.top) * stride + x;
        for (int j = 0; j < Diameter; ++j, line += stride)
            for (int i = dot.firsts[j]; i <= dot.lasts[j]; ++i) line[i] = pixel;
    };
    auto within = [&](QPoint p) {
        return p.x() + dot.left >= 0 && p.x() + dot.right < width && p.y() + dot.top >= 0 &&
               p.y() + dot.top + Diameter - 1 < height;
    };
    clipped(points[0].x(), points[0].y());
    bool fromInside = within(points[0]);
    for (std::size_t k = 1; k < points.size(); ++k) {
        const QPoint from = points[k - 1], to = points[k];
        const bool toInside = within(to);
        const bool fast = fromInside && toInside;  // the image is convex
        fromInside = toInside;
        if (fast)
            WalkLine<true>(from, to, inside);
        else
            WalkLine<true>(from, to, clipped);
    }
}

}  // namespace

void PainterSurface::RasterPolyline(QRgb* bits, int diameter) {
    const qsizetype stride = raster_->bytesPerLine() / 4;
    const int width = raster_->width(), height = raster_->height();
    const QRgb pixel = 0xFF000000u | pendingColour_;
    static_assert(kRasterPen == 4);
    switch (diameter) {
        case 1: return DotPolyline<1>(bits, stride, width, height, pending_, pixel);
        case 2: return DotPolyline<2>(bits, stride, width, height, pending_, pixel);
        case 3: return DotPolyline<3>(bits, stride, width, height, pending_, pixel);
        default: return DotPolyline<4>(bits, stride, width, height, pending_, pixel);
    }
}

void PainterSurface::DrawDot(float x, float y, Rgb colour) {
    Flush();
    if (device_ == nullptr) return;
    const double px = x * toDeviceX_, py = y * toDeviceY_;
    const int diameter = diameter_;
    // Also false for NaN: such a dot is not drawn.
    if (!(px >= -diameter && py >= -diameter && px <= deviceSize_.width() + diameter &&
          py <= deviceSize_.height() + diameter))
        return;
    QPainter& painter = Painter();
    SetComposition(painter, XorPixels());
    colour = DrawnColour(colour);
    if (snap_) {
        FillDisc(painter, ToPixel(px), ToPixel(py), diameter, colour);
    } else {
        painter.setPen(Qt::NoPen);
        painter.setBrush(PenColour(colour));
        painter.drawEllipse(QPointF(px, py), diameter / 2.0, diameter / 2.0);
        painter.setBrush(Qt::NoBrush);
    }
    Changed();
}

void PainterSurface::Print(std::string_view text) {
    // On a vector device a curve's line goes on past its label as one path.
    if (snap_) Flush();
    double px = currentX_ * toDeviceX_, py = currentY_ * toDeviceY_;
    // Text runs right and down from its corner: nothing of it shows from beyond the
    // right or bottom edge. The far left and top are cut off before the painter sees
    // coordinates it cannot hold.
    if (device_ != nullptr && px < deviceSize_.width() && py < deviceSize_.height() && px > -1e6 &&
        py > -1e6) {
        QPainter& painter = Painter();
        SetComposition(painter, XorPixels());
        painter.setFont(XorPixels() ? fontXor_ : font_);
        painter.setPen(PenColour(DrawnColour(foreColor_)));
        if (snap_) {
            px = ToPixel(px);
            py = ToPixel(py);
        }
        size_t begin = 0;
        for (int line = 0;; ++line) {
            const size_t end = std::min(text.find('\n', begin), text.size());
            const std::string_view part = text.substr(begin, end - begin);
            if (!part.empty())
                painter.drawText(
                    QPointF(px, py + line * fontHeight_ + fontAscent_),
                    QString::fromUtf8(part.data(), static_cast<qsizetype>(part.size())));
            if (end >= text.size()) break;
            begin = end + 1;
        }
        Changed();
    }
    currentX_ = ScaleLeft();
    currentY_ += TextHeight(text);
}

float PainterSurface::TextWidth(std::string_view text) const {
    if (toDeviceX_ <= 0.0) return scaleWidth_;
    // The font as drawn in copy mode; the one XOR text uses has the same advances.
    const QFontMetricsF metrics(font_);
    double widest = 0.0;
    for (std::size_t begin = 0;;) {
        const std::size_t end = std::min(text.find('\n', begin), text.size());
        const std::string_view part = text.substr(begin, end - begin);
        widest = std::max(widest, metrics.horizontalAdvance(QString::fromUtf8(
                                      part.data(), static_cast<qsizetype>(part.size()))));
        if (end >= text.size()) break;
        begin = end + 1;
    }
    return static_cast<float>(widest / toDeviceX_);
}

float PainterSurface::TextHeight(std::string_view text) const {
    const double lines = 1.0 + static_cast<double>(std::count(text.begin(), text.end(), '\n'));
    if (toDeviceY_ <= 0.0) return scaleHeight_;
    return static_cast<float>(lines * fontHeight_ / toDeviceY_);
}

void PainterSurface::Line(float x1, float y1, float x2, float y2) {
    Line(x1, y1, x2, y2, foreColor_);
}

void PainterSurface::Line(float x1, float y1, float x2, float y2, Rgb colour) {
    DrawSegment(x1, y1, x2, y2, colour & 0xFFFFFFu);
    currentX_ = x2;
    currentY_ = y2;
}

void PainterSurface::LineTo(float x2, float y2) { LineTo(x2, y2, foreColor_); }

void PainterSurface::LineTo(float x2, float y2, Rgb colour) {
    DrawSegment(currentX_, currentY_, x2, y2, colour & 0xFFFFFFu);
    currentX_ = x2;
    currentY_ = y2;
}

void PainterSurface::Point(float x, float y) { Point(x, y, foreColor_); }

void PainterSurface::Point(float x, float y, Rgb colour) {
    currentX_ = x;
    currentY_ = y;
    DrawDot(x, y, colour & 0xFFFFFFu);
}

ImageSurface::ImageSurface(QSize pixels, qreal pixelRatio) { Resize(pixels, pixelRatio); }

ImageSurface::~ImageSurface() { EndPainting(); }

void ImageSurface::Resize(QSize pixels, qreal pixelRatio) {
    EndPainting();
    const QSize size(std::max(1, pixels.width()), std::max(1, pixels.height()));
    image_ = QImage(size, QImage::Format_RGB32);
    image_.fill(QColor::fromRgb(static_cast<QRgb>(0xFF000000u | kBackgroundColour)));
    Attach(&image_, QSizeF(size), pixelRatio, true);
}

const QImage& ImageSurface::image() {
    // Ending the painter makes the next drawing detach the image from any copy taken now.
    EndPainting();
    return image_;
}

}  // namespace anodix
