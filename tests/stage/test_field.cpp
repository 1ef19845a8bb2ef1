// The whole field: gm, rp and mu over the plane against the model's own slopes, contour
// lines where the level lies, transfer curves through the family's points.
#include <QtTest>

#include "stage/families.h"
#include "stage/field.h"

using namespace anodix;
using namespace anodix::test;

class TestField : public QObject {
    Q_OBJECT

private slots:
    // On the 12AU7's curves gm, rp and mu follow the model's own slopes at the grid voltage
    // of each point.
    void mapsAgainstTheSlopes() {
        const KorenTube tube = Koren12AU7();
        const Family family = ModelFamily(tube, 0.0, 2.0, 11, 400.0, 5.0);
        std::vector<FieldMap> maps;
        for (FieldQuantity q : {FieldQuantity::Gm, FieldQuantity::Rp, FieldQuantity::Mu})
            maps.push_back(MapField(family, q, 400.0, 0.04, 9, 9));
        int known = 0;
        for (int r = 1; r < 9; ++r)
            for (int c = 1; c < 9; ++c) {
                if (std::isnan(maps[0].At(c, r))) continue;
                ++known;
                const double va = maps[0].Va(c), ia = maps[0].Ia(r), h = 1e-3;
                double lo = -20.0, hi = 0.0;  // the model's grid voltage at (va, ia)
                for (int i = 0; i < 100; ++i)
                    (tube.AnodeCurrent(va, 0.5 * (lo + hi)) < ia ? lo : hi) = 0.5 * (lo + hi);
                const double vg = 0.5 * (lo + hi);
                // Between the top or the bottom two curves the interpolation has one side only.
                if (vg > -2.0 || vg < -18.0) continue;
                const double gm =
                    (tube.AnodeCurrent(va, vg + h) - tube.AnodeCurrent(va, vg - h)) / (2 * h) * 1e3;
                const double rp =
                    2 * h / (tube.AnodeCurrent(va + h, vg) - tube.AnodeCurrent(va - h, vg)) * 1e-3;
                const double model[] = {gm, rp, gm * rp};
                for (std::size_t q = 0; q < maps.size(); ++q)
                    QVERIFY2(std::fabs(maps[q].At(c, r) / model[q] - 1.0) < 0.03,
                             qPrintable(QString("%1 at %2 V, %3 mA: %4, the model %5")
                                            .arg(FieldName(maps[q].quantity))
                                            .arg(va)
                                            .arg(ia * 1e3)
                                            .arg(maps[q].At(c, r))
                                            .arg(model[q])));
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

    // At an anode voltage of the family's points the transfer curve meets each curve's
    // point at its grid voltage; where the points carry a screen current (a fifth of the
    // anode's here), the transfer curves carry it too.
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
        Family withScreen = ModelFamily(KorenEL34(), 0.0, 5.0, 9, 500.0, 5.0);
        for (Curve& c : withScreen.curves)
            for (CurvePoint& p : c.points) p.screenAmperes = 0.2 * p.amperes;
        for (const TransferCurve& t : TransferCurves(withScreen, {250.0}, 11))
            for (const TransferPoint& p : t.points)
                QVERIFY(std::fabs(p.screen - 0.2 * p.ia) < 1e-9);
    }
};

QTEST_GUILESS_MAIN(TestField)
#include "test_field.moc"
