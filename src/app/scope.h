#pragma once
// The window's plot: a widget that keeps its picture in an image of its own (at the
// screen's pixel density) and copies it to the screen when painted. Only the program's
// drawing changes the picture; a resize starts a new, cleared one.
#include <QWidget>

#include "plot/paintersurface.h"

namespace anodix {

class Scope : public QWidget {
    Q_OBJECT

public:
    explicit Scope(QWidget* parent = nullptr);

    // The drawing surface (the program's user scale, pen, mode and Tag).
    ImageSurface& surface() { return surface_; }
    // The picture as drawn so far, one image pixel per device pixel.
    const QImage& image() { return surface_.image(); }

    // The button and shift numbers of the plot's mouse events: button 1 left, 2 right,
    // 4 middle; shift 1 Shift, 2 Ctrl, 4 Alt.
    static int ButtonNumber(Qt::MouseButtons buttons);
    static int ShiftNumber(Qt::KeyboardModifiers modifiers);

signals:
    // Button pressed (1, 2 or 4) with the shift keys, at (x, y) in plot units.
    void MouseDown(int button, int shift, float x, float y);
    // The pointer moved, with the sum of the buttons held (0 for none).
    void MouseMove(int button, int shift, float x, float y);
    // The wheel turned by whole notches (forward positive) with the shift keys.
    void MouseWheel(int steps, int shift);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    QPointF ToPlot(QPointF position) const;
    void ScheduleRepaint();

    ImageSurface surface_;
    bool repaintScheduled_ = false;
    int wheelEighths_ = 0;  // wheel turned, in eighths of a degree, not yet a whole notch
};

}  // namespace anodix
