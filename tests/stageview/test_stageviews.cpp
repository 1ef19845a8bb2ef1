// The stage's views: the overlay where the stage lies on the Cook plot's frame, and every
// view and the matching report written as picture files, or refused with the reason.
#include <QtTest>

#include "plot/recordingsurface.h"
#include "stage/families.h"
#include "stageview/matchreport.h"
#include "stageview/stageviews.h"
#include "support/files.h"

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

    // Each view into PNG, SVG and PDF: whole files of their type; a name of no picture type
    // is refused with the reason, and nothing is left (a folder that is not there:
    // test_stagecli's "picture nowhere").
    void picturesWritten() {
        const QTemporaryDir dir;
        const Family f = ModelFamily(KorenEL34(), 0.0, 5.0, 9, 500.0, 10.0);
        StageFields fields;
        fields.pushPull = true;
        fields.pair.bPlus = 450.0;
        fields.pair.raa = 3.4e3;
        fields.pair.gridBias = -20.0;
        const StageReport pair = ComputeStage({f}, {}, fields);
        const std::vector<CompositeCurve> composite = CompositeCurves({f}, {f}, fields.pair);
        const FieldMap map = MapField(f, FieldQuantity::Gm, 500.0, 0.35, 21, 21);
        const std::vector<TransferCurve> transfer = TransferCurves(f, DefaultTransferVolts(f));
        const std::vector<DrawPicture> views = {
            [&](PlotSurface& s) { DrawCompositeView(s, composite, pair, fields); },
            [&](PlotSurface& s) { DrawFieldView(s, f, map, ContourLevels(map)); },
            [&](PlotSurface& s) { DrawTransferView(s, "EL34", transfer); }};
        const std::vector<std::pair<QString, QByteArray>> types = {
            {"png", "\x89PNG"}, {"svg", "<?xml"}, {"pdf", "%PDF"}};
        for (std::size_t v = 0; v < views.size(); ++v)
            for (const auto& [suffix, magic] : types) {
                const QString path = dir.filePath(QString("view%1.%2").arg(v).arg(suffix));
                QString error;
                QVERIFY2(ExportView(path, QSize(600, 450), views[v], &error), qPrintable(error));
                QVERIFY(
                    QByteArray::fromStdString(ReadWholeFile(path.toStdString())).startsWith(magic));
            }
        QString error;
        QVERIFY(!ExportView(dir.filePath("view.bmp"), QSize(600, 450), views[0], &error) &&
                !error.isEmpty());
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 9);
    }

    // The report: a page of numbers, then a page for each pair (a folder that is not there:
    // test_stagecli's "report nowhere").
    void matchingReport() {
        std::vector<Family> tubes;
        for (double kg1 : {650.0, 700.0, 660.0, 690.0, 600.0}) {
            KorenTube t = KorenEL34();
            t.kg1 = kg1;
            tubes.push_back(ModelFamily(t, 0.0, 5.0, 9, 500.0, 10.0));
        }
        const MatchResult r = MatchTubes(tubes, {});
        QVERIFY(r.ok && r.pairs.size() == 2);
        const QTemporaryDir dir;
        std::string reason;
        QVERIFY2(WriteMatchReport(dir.filePath("match.pdf").toStdString(), tubes, r, {}, &reason),
                 reason.c_str());
        const std::string pdf = ReadWholeFile(dir.filePath("match.pdf").toStdString());
        std::size_t pages = 0;
        for (std::size_t at = pdf.find("/Type /Page\n"); at != std::string::npos;
             at = pdf.find("/Type /Page\n", at + 1))
            ++pages;
        QCOMPARE(pages, std::size_t{3});
    }
};

QTEST_MAIN(TestStageViews)
#include "test_stageviews.moc"
