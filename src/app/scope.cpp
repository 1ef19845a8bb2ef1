#include "app/scope.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QWheelEvent>
#include <cmath>

namespace anodix {

namespace {

QSize PixelSize(const QWidget& widget) {
    const qreal ratio = widget.devicePixelRatioF();
    return {std::max(1, static_cast<int>(std::lround(widget.width() * ratio))),
            std::max(1, static_cast<int>(std::lround(widget.height() * ratio)))};
}

}  // namespace

Scope::Scope(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
    // The picture covers the whole widget: Qt need not clear it first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    surface_.Resize(PixelSize(*this), devicePixelRatioF());
    surface_.onChanged = [this] { ScheduleRepaint(); };
}

void Scope::ScheduleRepaint() {
    // Drawing calls this for every figure; one pending repaint is enough.
    if (repaintScheduled_) return;
    repaintScheduled_ = true;
    update();
}

void Scope::paintEvent(QPaintEvent* event) {
    repaintScheduled_ = false;
    const QImage& picture = surface_.image();
    QPainter painter(this);
    const qreal ratio = surface_.PixelRatio();
    const QRectF target = event->rect();
    const QRectF source(target.x() * ratio, target.y() * ratio, target.width() * ratio,
                        target.height() * ratio);
    painter.drawImage(target, picture, source);
}

void Scope::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    const QSize pixels = PixelSize(*this);
    if (pixels != surface_.image().size() || devicePixelRatioF() != surface_.PixelRatio())
        surface_.Resize(pixels, devicePixelRatioF());
    ScheduleRepaint();
}

QPointF Scope::ToPlot(QPointF position) const {
    return surface_.FromDevice(position * surface_.PixelRatio());
}

int Scope::ButtonNumber(Qt::MouseButtons buttons) {
    return (buttons.testFlag(Qt::LeftButton) ? 1 : 0) +
           (buttons.testFlag(Qt::RightButton) ? 2 : 0) +
           (buttons.testFlag(Qt::MiddleButton) ? 4 : 0);
}

int Scope::ShiftNumber(Qt::KeyboardModifiers modifiers) {
    return (modifiers.testFlag(Qt::ShiftModifier) ? 1 : 0) +
           (modifiers.testFlag(Qt::ControlModifier) ? 2 : 0) +
           (modifiers.testFlag(Qt::AltModifier) ? 4 : 0);
}

void Scope::mousePressEvent(QMouseEvent* event) {
    const int button = ButtonNumber(event->button());
    // Buttons other than left, right and middle mean nothing on the plot.
    if (button == 0) {
        QWidget::mousePressEvent(event);
        return;
    }
    const QPointF at = ToPlot(event->position());
    emit MouseDown(button, ShiftNumber(event->modifiers()), static_cast<float>(at.x()),
                   static_cast<float>(at.y()));
}

void Scope::mouseMoveEvent(QMouseEvent* event) {
    const QPointF at = ToPlot(event->position());
    emit MouseMove(ButtonNumber(event->buttons()), ShiftNumber(event->modifiers()),
                   static_cast<float>(at.x()), static_cast<float>(at.y()));
}

void Scope::wheelEvent(QWheelEvent* event) {
    // A notch is 15 degrees (120 eighths); touchpads send parts of one. Some systems turn
    // a wheel with Shift into a sideways one.
    const QPoint delta = event->angleDelta();
    wheelEighths_ += delta.y() != 0 ? delta.y() : delta.x();
    const int steps = wheelEighths_ / 120;
    wheelEighths_ -= steps * 120;
    if (steps != 0) emit MouseWheel(steps, ShiftNumber(event->modifiers()));
    event->accept();
}

}  // namespace anodix
