// The window at QT_SCALE_FACTOR (150 %, 200 %): no control covers another, leaves its frame or
// cuts its caption; the plot's image at the screen's density, its coordinates unchanged.
#include "window_fixture.h"

using namespace anodix;

namespace {

QStringList LayoutFaults(QWidget* parent) {
    QStringList faults;
    QList<QWidget*> shown = parent->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    shown.removeIf([](QWidget* c) { return !c->isVisible() || c->isWindow(); });
    for (qsizetype i = 0; i < shown.size(); ++i) {
        QWidget* a = shown[i];
        for (qsizetype j = i + 1; j < shown.size(); ++j)
            if (a->geometry().intersects(shown[j]->geometry()))
                faults << a->objectName() + " covers " + shown[j]->objectName();
        if (!parent->rect().contains(a->geometry()))
            faults << a->objectName() + " leaves its frame";
        // A check box's caption fits beside its box.
        if (auto* c = qobject_cast<QCheckBox*>(a)) {
            QStyleOptionButton option;
            option.initFrom(c);
            if (c->fontMetrics().horizontalAdvance(c->text()) >
                c->style()->subElementRect(QStyle::SE_CheckBoxContents, &option, c).width())
                faults << c->objectName() + " cuts \"" + c->text() + "\"";
        }
        faults << LayoutFaults(a);
    }
    return faults;
}

}  // namespace

class TestScale : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void controlsAndPlot() {
        const double scale = qEnvironmentVariable("QT_SCALE_FACTOR", "1").toDouble();
        Window t;
        QVERIFY(QTest::qWaitForWindowExposed(&t.w));
        QCOMPARE(t.w.devicePixelRatioF(), scale);
        for (auto mode : {&Base::Mnu_Capture_Click, &Base::Mnu_Cook_Click}) {
            (t.w.*mode)();
            const QStringList faults =
                LayoutFaults(t.w.centralWidget()) + LayoutFaults(t.w.DockStage->widget());
            QVERIFY2(faults.isEmpty(), qPrintable(faults.join("; ")));
        }
        // A line drawn across the middle of the plot lies under the pointer that reads the middle.
        Scope& scope = *t.w.ScopeBox;
        const QImage& image = scope.surface().image();
        QCOMPARE(image.size(), scope.size() * scale);
        scope.surface().SetDrawMode(kDrawCopy);
        scope.surface().SetForeColor(RGB(1, 2, 3));
        scope.surface().Line(32768, 0, 32768, 65536);
        scope.surface().Flush();
        int column = 0;
        while (column < image.width() - 1 &&
               image.pixel(column, image.height() / 2) != qRgb(1, 2, 3))
            ++column;
        QSignalSpy moved(&scope, &Scope::MouseMove);
        const QPointF at(column / scale, scope.height() / 2.0);
        QMouseEvent move(QEvent::MouseMove, at, scope.mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QApplication::sendEvent(&scope, &move);
        QVERIFY(moved.size() == 1 && std::abs(moved[0][2].toFloat() - 32768.0f) <=
                                         65536.0f / static_cast<float>(image.width() - 1));
    }
};

QTEST_MAIN(TestScale)
#include "test_scale.moc"
