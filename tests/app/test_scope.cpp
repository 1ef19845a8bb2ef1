// The plot widget: its picture, resizing, and the mouse events in plot units.
#include <QtTest>

#include "app/scope.h"

using namespace anodix;

static void SendMove(QWidget& w, QPointF at, Qt::MouseButtons held, Qt::KeyboardModifiers mods) {
    QMouseEvent move(QEvent::MouseMove, at, w.mapToGlobal(at), Qt::NoButton, held, mods);
    QApplication::sendEvent(&w, &move);
}

class TestScope : public QObject {
    Q_OBJECT

private slots:
    // Mouse events carry buttons, shifts and plot units, the edges on the first and last pixel.
    // The screen shows the picture; a resize clears it, a plot squeezed to nothing keeps a pixel.
    void mouseEventsAndPicture() {
        Scope scope;
        scope.resize(201, 101);
        scope.show();
        QVERIFY(QTest::qWaitForWindowExposed(&scope));
        QVERIFY(scope.hasMouseTracking());
        QSignalSpy down(&scope, &Scope::MouseDown);
        QSignalSpy move(&scope, &Scope::MouseMove);

        QTest::mousePress(&scope, Qt::LeftButton, Qt::ShiftModifier, QPoint(200, 100));
        QTest::mousePress(&scope, Qt::RightButton, Qt::ControlModifier | Qt::AltModifier,
                          QPoint(100, 50));
        QTest::mousePress(&scope, Qt::MiddleButton, Qt::ShiftModifier | Qt::ControlModifier,
                          QPoint(0, 100));
        QTest::mousePress(&scope, Qt::BackButton, Qt::NoModifier, QPoint(10, 10));
        QCOMPARE(down.count(), 3);
        QCOMPARE(down[0], (QVariantList{1, 1, 65536.0f, 65536.0f}));
        QCOMPARE(down[1], (QVariantList{2, 6, 32768.0f, 32768.0f}));
        QCOMPARE(down[2], (QVariantList{4, 3, 0.0f, 65536.0f}));
        move.clear();
        SendMove(scope, QPointF(50, 25), Qt::NoButton, Qt::NoModifier);
        SendMove(scope, QPointF(150, 75), Qt::LeftButton | Qt::RightButton, Qt::ShiftModifier);
        QCOMPARE(move.count(), 2);
        QCOMPARE(move[0], (QVariantList{0, 0, 16384.0f, 16384.0f}));
        QCOMPARE(move[1], (QVariantList{3, 1, 49152.0f, 49152.0f}));

        const qreal ratio = scope.devicePixelRatioF();
        QCOMPARE(scope.image().size(), QSize(201, 101) * ratio);
        ImageSurface& s = scope.surface();
        s.SetForeColor(RGB(255, 0, 0));
        s.Line(0, 32768, 65536, 32768);
        s.Point(10000, 10000, RGB(0, 0, 255));
        scope.repaint();
        QCOMPARE(scope.grab().toImage().convertToFormat(QImage::Format_RGB32), scope.image());
        scope.resize(60, 30);
        QCOMPARE(scope.image().size(), QSize(60, 30) * ratio);
        QVERIFY(scope.image().pixel(30, 15) == 0xFFFFFFFFu &&
                s.ForeColor() == RGB(255, 0, 0));  // cleared, pen kept
        scope.resize(0, 0);
        s.Line(0, 0, 65536, 65536);
        QVERIFY(scope.image().size() == QSize(1, 1) && scope.image().pixel(0, 0) == 0xFFFF0000u);
    }
};

QTEST_MAIN(TestScope)
#include "test_scope.moc"
