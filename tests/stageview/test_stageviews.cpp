// The stage's overlay: where the stage lies on the Cook plot's frame (the views and the
// matching report written as files: test_stagecli, from the window: test_stagepanel).
#include <QtTest>

#include "plot/recordingsurface.h"
#include "stage/families.h"
#include "stageview/stageviews.h"

using namespace anodix;
using namespace anodix::test;

namespace {

using Call = RecordingSurface::Call;

// The distance in plot units from (x, y) to the nearest line drawn in the colour.
double Nearest(const RecordingSurface& plot, Rgb colour, float x, float y) {
    double best = HUGE_VAL;
    for (const Call& c : plot.Calls(RecordingSurface::Kind::Line)) {
        if (c.colour != colour) continue;
        const double dx = c.x2 - c.x1, dy = c.y2 - c.y1, length = dx * dx + dy * dy;
        const double t =
            length > 0 ? std::clamp(((x - c.x1) * dx + (y - c.y1) * dy) / length, 0.0, 1.0) : 0.0;
        best = std::min(best, std::hypot(c.x1 + t * dx - x, c.y1 + t * dy - y));
    }
    return best;
}

}  // namespace

class TestStageViews : public QObject {
    Q_OBJECT

private slots:
    // On the Cook plot at 50 V and 5 mA a division: the point where the stage works, on the
    // bias line, the DC load line and the AC load line; the DC line from B+ on the axis.
    void overlayOnTheCookPlot() {
        const Family f = ModelFamily(Koren12AU7(), 0.0, 2.0, 11, 400.0, 5.0);
        SingleEndedInput in;
        in.bPlus = 300.0;
        in.ra = 10e3;
        in.rk = 1e3;
        in.rl = 47e3;
        const SingleEndedResult r = AnalyseSingleEnded({f}, in);
        QVERIFY(r.ok);
        RecordingSurface plot;
        DrawStageOverlay(plot, r, in, CookAxes(50.0, 5.0));
        const float x = static_cast<float>(r.va / 50.0 * 8192.0),
                    y = static_cast<float>(65536.0 - r.ia * 1e3 / 5.0 * 8192.0);
        const std::vector<Call> dots = plot.Calls(RecordingSurface::Kind::Point);
        QCOMPARE(dots.size(), std::size_t{1});
        QVERIFY(std::fabs(dots[0].x1 - x) < 1.0f && std::fabs(dots[0].y1 - y) < 1.0f);
        QVERIFY(Nearest(plot, kBiasLineColour, x, y) < 100.0);
        QVERIFY(Nearest(plot, kDcLineColour, x, y) < 1.0 &&
                Nearest(plot, kDcLineColour, 300.0f / 50 * 8192, 65536.0f) < 1.0);
        QVERIFY(Nearest(plot, kAcLineColour, x, y) < 1.0);
    }
};

QTEST_MAIN(TestStageViews)
#include "test_stageviews.moc"
