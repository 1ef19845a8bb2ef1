// The window at a display scale of 150 % or 200 % (QT_SCALE_FACTOR, set per test run):
// no control covers another or leaves its frame, every caption fits, and the plot's image
// is drawn at the screen's pixel density with the plot's coordinates unchanged.
#include "window_fixture.h"

using namespace anodix;

namespace {

// Faults of the visible controls below parent: "a covers b", "a leaves its frame",
// "a cuts its caption".
QStringList LayoutFaults(QWidget* parent) {
    QStringList faults;
    std::vector<QWidget*> shown;
    for (QWidget* child : parent->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (child->isVisible() && !child->isWindow()) shown.push_back(child);
    for (std::size_t i = 0; i < shown.size(); ++i) {
        QWidget* a = shown[i];
        const QString name = a->objectName().isEmpty() ? a->metaObject()->className() : a->objectName();
        for (std::size_t j = i + 1; j < shown.size(); ++j)
            if (a->geometry().intersects(shown[j]->geometry()))
                faults << name + " covers " + shown[j]->objectName();
        if (!parent->rect().contains(a->geometry())) faults << name + " leaves its frame";
        // The room a caption has: a check box's beside its box, a button's inside its
        // bevel, a label's inside its frame.
        QString text;
        int room = a->contentsRect().width();
        if (auto* c = qobject_cast<QCheckBox*>(a)) {
            QStyleOptionButton option;
            option.initFrom(c);
            text = c->text();
            room = c->style()->subElementRect(QStyle::SE_CheckBoxContents, &option, c).width();
        } else if (auto* b = qobject_cast<QPushButton*>(a)) {
            text = b->text();
            room -= 2 * b->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, b);
        } else if (auto* l = qobject_cast<QLabel*>(a); l != nullptr && !l->wordWrap()) {
            text = l->text();
        }
        if (a->fontMetrics().horizontalAdvance(text) > room)
            faults << QString("%1 cuts \"%2\" (%3 > %4)").arg(name, text).arg(a->fontMetrics().horizontalAdvance(text)).arg(room);
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
        Base& w = t.w;
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QCOMPARE(w.devicePixelRatioF(), scale);
        for (auto mode : {&Base::Mnu_Cook_Click, &Base::Mnu_Capture_Click}) {
            (w.*mode)();
            const QStringList faults = LayoutFaults(w.centralWidget());
            QVERIFY2(faults.isEmpty(), qPrintable(faults.join("; ")));
        }
        // A line drawn at the middle of the plot lies under the pointer that reads the middle.
        Scope& scope = *w.ScopeBox;
        const QImage& image = scope.surface().image();
        QCOMPARE(image.size(), scope.size() * scale);
        scope.surface().SetDrawMode(kDrawCopy);
        scope.surface().SetForeColor(RGB(1, 2, 3));
        scope.surface().Line(32768, 0, 32768, 65536);
        scope.surface().Flush();
        int column = 0;
        while (column < image.width() && image.pixel(column, image.height() / 2) != qRgb(1, 2, 3)) ++column;
        QVERIFY(column < image.width());
        QSignalSpy moved(&scope, &Scope::MouseMove);
        const QPointF at(column / scale, scope.height() / 2.0);
        QMouseEvent move(QEvent::MouseMove, at, scope.mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(&scope, &move);
        QCOMPARE(moved.size(), 1);
        QVERIFY2(std::abs(moved[0][2].toFloat() - 32768.0f) <= 65536.0f / static_cast<float>(image.width() - 1),
                 qPrintable(moved[0][2].toString()));
    }
};

QTEST_MAIN(TestScale)
#include "test_scale.moc"
