// The whole field: gm, rp and mu over the plane against the model's own slopes, contour
// lines where the level lies, transfer curves through the family's points.
#include <QtTest>

#include "stage/families.h"
#include "stage/field.h"

using namespace anodix;
using namespace anodix::test;

namespace {

// Where the family's points carry a screen current (a fifth of the anode's here), the
// transfer curves carry it too.
void CheckScreenCurrent(Family family) {
    for (Curve& c : family.curves)
        for (CurvePoint& p : c.points) p.screenAmperes = 0.2 * p.amperes;
    for (const TransferCurve& t : TransferCurves(family, {250.0}, 11))
        for (const TransferPoint& p : t.points) QVERIFY(std::fabs(p.screen - 0.2 * p.ia) < 1e-9);
}

}  // namespace

class TestField : public QObject {
    Q_OBJECT

private slots:
    // On a linear tube every measured point has gm = mu / rp, rp and mu; on the 12AU7's
    // curves the map follows the model's own slopes at the grid voltage of each point.
    void mapsAgainstTheSlopes() {
        const Family linear = LinearFamily(20.0, 10e3, 0.0, 1.0, 21, 600.0);
        for (FieldQuantity q : {FieldQuantity::Gm, FieldQuantity::Rp, FieldQuantity::Mu}) {
            const FieldMap map = MapField(linear, q, 600.0, 0.05, 21, 21);
            const double want = q == FieldQuantity::Gm ? 2.0 : q == FieldQuantity::Rp ? 10.0 : 20.0;
            // Away from cut-off, where the linear tube's corner bends the curves' interpolation.
            int known = 0;
            for (int r = 3; r < map.rows; ++r)
                for (int c = 0; c < map.columns; ++c) {
                    const double v = map.At(c, r);
                    if (std::isnan(v)) continue;
                    ++known;
                    QVERIFY2(std::fabs(v / want - 1.0) < 0.01,
                             qPrintable(QString("%1 at %2 V, %3 mA: %4")
                                            .arg(FieldName(q))
                                            .arg(map.Va(c))
                                            .arg(map.Ia(r) * 1e3)
                                            .arg(v)));
                }
            QVERIFY(known > 100);
        }
        const KorenTube tube = Koren12AU7();
        const Family family = ModelFamily(tube, 0.0, 2.0, 11, 400.0, 5.0);
        const FieldMap gm = MapField(family, FieldQuantity::Gm, 400.0, 0.04, 9, 9);
        const FieldMap rp = MapField(family, FieldQuantity::Rp, 400.0, 0.04, 9, 9);
        int known = 0;
        for (int r = 1; r < 9; ++r)
            for (int c = 1; c < 9; ++c) {
                if (std::isnan(gm.At(c, r))) continue;
                ++known;
                const double va = gm.Va(c), ia = gm.Ia(r), h = 1e-3;
                double lo = -20.0, hi = 0.0;  // the model's grid voltage at (va, ia)
                for (int i = 0; i < 100; ++i)
                    (tube.AnodeCurrent(va, 0.5 * (lo + hi)) < ia ? lo : hi) = 0.5 * (lo + hi);
                const double vg = 0.5 * (lo + hi);
                // Between the top or the bottom two curves the interpolation has one side only.
                if (vg > -2.0 || vg < -18.0) continue;
                const double slope =
                    (tube.AnodeCurrent(va, vg + h) - tube.AnodeCurrent(va, vg - h)) / (2 * h) * 1e3;
                const double rpModel =
                    2 * h / (tube.AnodeCurrent(va + h, vg) - tube.AnodeCurrent(va - h, vg)) * 1e-3;
                QVERIFY2(std::fabs(gm.At(c, r) / slope - 1.0) < 0.03 &&
                             std::fabs(rp.At(c, r) / rpModel - 1.0) < 0.03,
                         qPrintable(QString("at %1 V, %2 mA: gm %3 (model %4), rp %5 (model %6)")
                                        .arg(va)
                                        .arg(ia * 1e3)
                                        .arg(gm.At(c, r))
                                        .arg(slope)
                                        .arg(rp.At(c, r))
                                        .arg(rpModel)));
            }
        QVERIFY(known > 15);
    }

    // A map that rises with the anode voltage, with a corner not known: its contours are
    // vertical lines at the level's voltage, and none crosses the unknown corner's cells.
    void contoursWhereTheLevelIs() {
        FieldMap map;
        map.vaMax = 100.0;
        map.iaMax = 0.01;
        map.columns = map.rows = 11;
        for (int r = 0; r < 11; ++r)
            for (int c = 0; c < 11; ++c)
                map.values.push_back(c == 10 && r == 10 ? kUnknown : map.Va(c) * 0.5);
        const std::vector<FieldSegment> segments = Contour(map, 23.0);
        QCOMPARE(segments.size(), std::size_t{10});
        for (const FieldSegment& s : segments)
            QVERIFY(std::fabs(s.from.va - 46.0) < 1e-9 && std::fabs(s.to.va - 46.0) < 1e-9);
        QVERIFY(Contour(map, 49.0).size() == 9);  // the top cell beside the unknown corner has none
    }

    void screenCurrentAlongside() {
        CheckScreenCurrent(ModelFamily(KorenEL34(), 0.0, 5.0, 9, 500.0, 5.0));
    }

    // At an anode voltage of the family's points the transfer curve meets each curve's
    // point at its grid voltage.
    void transferThroughThePoints() {
        const Family family = ModelFamily(Koren12AU7(), 0.0, 2.0, 11, 400.0, 5.0);
        const std::vector<TransferCurve> curves = TransferCurves(family, {100.0, 250.0}, 11);
        QCOMPARE(curves.size(), std::size_t{2});
        for (const TransferCurve& t : curves) {
            QCOMPARE(t.points.size(), std::size_t{11});
            for (const TransferPoint& p : t.points) {
                const auto c =
                    std::find_if(family.curves.begin(), family.curves.end(),
                                 [&](const Curve& k) { return std::fabs(k.grid1 - p.vg) < 1e-9; });
                QVERIFY(c != family.curves.end());
                const auto at = std::find_if(
                    c->points.begin(), c->points.end(),
                    [&](const CurvePoint& q) { return std::fabs(q.volts - t.va) < 1e-9; });
                QVERIFY(at != c->points.end() && std::fabs(at->amperes - p.ia) < 1e-9);
                QVERIFY(std::isnan(p.screen));  // a TDF file holds no screen current
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestField)
#include "test_field.moc"
