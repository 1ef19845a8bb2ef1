// The stage, the whole field and the matching against computations of their own, on model
// curves and on curves with the faults of real measurements.
// The inputs written with designated initializers, their other fields at their defaults.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#include <QtTest>

#include <numbers>
#include <numeric>
#include <random>

#include "model/loadline.h"
#include "stage/field.h"
#include "stage/stage.h"
#include "stage/families.h"
#include "stage/matching.h"

using namespace anodix;
using namespace anodix::test;

namespace {

// Within relative of want; what is said with both numbers where not.
bool Near(double got, double want, double relative, const char* what = "") {
    const bool near = std::fabs(got - want) <= relative * std::fabs(want);
    if (!near) qWarning("%s: %g, expected %g", what, got, want);
    return near;
}

// Half the plate-to-plate voltage of the pair at drive phase k, solved on the models.
double ModelPairVolts(const std::function<double(double, double)>& i1,
                      const std::function<double(double, double)>& i2, double bPlus, double raa,
                      double bias, double drive, int k, double offset = 0.0) {
    const double e = drive * std::sin(2.0 * std::numbers::pi * k / kPeriodSamples);
    return Bisect(
        [&](double v) {
            return i1(bPlus - v, bias + e) - i2(bPlus + v, bias - e) - offset - 4.0 * v / raa;
        },
        -bPlus, bPlus);
}

using Matrix = std::vector<std::vector<double>>;

// A group's cost: the sum of the distances between its members.
double Cost(const Matrix& d, const std::vector<int>& g) {
    double cost = 0.0;
    for (std::size_t i = 0; i < g.size(); ++i)
        for (std::size_t j = i + 1; j < g.size(); ++j) cost += d[g[i]][g[j]];
    return cost;
}

// The least total of every way to split `left` into groups of `size` (leaving n mod size
// out), by trying each.
double BruteForce(const Matrix& d, std::vector<int> left, std::size_t size) {
    if (left.size() < size) return 0.0;
    double best = HUGE_VAL;
    // The first member either joins a group of the others or (when some must be left over)
    // is left out.
    const int first = left.front();
    left.erase(left.begin());
    if (left.size() % size != size - 1) best = BruteForce(d, left, size);
    std::vector<bool> pick(left.size(), false);
    std::fill(pick.end() - static_cast<long>(size - 1), pick.end(), true);
    do {
        std::vector<int> group{first}, rest;
        for (std::size_t k = 0; k < left.size(); ++k) (pick[k] ? group : rest).push_back(left[k]);
        best = std::min(best, Cost(d, group) + BruteForce(d, rest, size));
    } while (std::next_permutation(pick.begin(), pick.end()));
    return best;
}

}  // namespace

class TestStage : public QObject {
    Q_OBJECT

private slots:
    // Ia = (mu Vg + Va) / rp: the operating point B+ / (rp + Ra + (mu + 1) Rk) and the gain
    // mu Rac / (rp + Rac + (mu + 1) Rk unbypassed), with no distortion; RC-coupled and
    // through a transformer.
    void linearTube() {
        const double mu = 20.0, rp = 10e3;
        const Family f = LinearFamily(mu, rp, 0.0, 1.0, 21, 600.0);
        for (SingleEndedInput c :
             {SingleEndedInput{.ra = 10e3, .rk = 1e3},
              {.ra = 10e3, .rk = 1e3, .bypassed = false},
              {.ra = 22e3, .rk = 470, .rl = 100e3},
              {.ra = 50, .rk = 200, .rl = 8, .turnsRatio = 30},
              {.ra = 50, .rk = 200, .rl = 8, .turnsRatio = 30, .bypassed = false}}) {
            c.bPlus = 300.0;
            c.vinPeak = 0.5;
            const SingleEndedResult r = AnalyseSingleEnded({f}, c);
            QVERIFY2(r.ok, r.reason.c_str());
            QVERIFY(Near(r.ia, 300.0 / (rp + c.ra + (mu + 1.0) * c.rk), 1e-3));
            QVERIFY(Near(r.gm, mu / rp, 0.01) && Near(r.rp, rp, 0.01) && Near(r.mu, mu, 0.01));
            const double load =
                c.turnsRatio > 0 ? c.turnsRatio * c.turnsRatio * c.rl : (c.rl > 0 ? c.rl : c.ra);
            const double rac =
                c.turnsRatio > 0 ? c.ra + load : (c.rl > 0 ? c.ra * c.rl / (c.ra + c.rl) : c.ra);
            const double gain = mu * rac / (rp + rac + (c.bypassed ? 0.0 : (mu + 1.0) * c.rk));
            QVERIFY(Near(r.gain, gain, 0.005, "gain"));
            QVERIFY(r.thd < 0.1 && Near(r.swingUp, gain * 0.5, 0.01) &&
                    Near(r.swingDown, gain * 0.5, 0.01));
            const double peak = gain * 0.5;  // the anode's signal
            const double pout =
                c.turnsRatio > 0 ? std::pow(peak / rac, 2) / 2.0 * load : peak * peak / 2.0 / load;
            QVERIFY(Near(r.pout, pout, 0.01));
        }
    }

    // The operating point against bisection on the model, on the model's curves and on measured
    // ones; the bypassed stage's numbers against the load line's own; the unbypassed gain
    // against the small-signal formula with the model's mu and rp.
    void selfBiasOnTheModel() {
        const KorenTube tube = Koren12AU7();
        const Family clean = ModelFamily(tube, 0.0, 2.0, 11, 400.0, 5.0);
        // And as a tracer measures it: noise, leakage, small currents read as 0, the top curves
        // cut short by a 30 mA limit, the -8 V curve missing.
        const std::vector<Family> families{
            clean, ModelFamily(tube, 0.0, 2.0, 11, 400.0, 5.0, {40e-6, 20e-6, 30e-6, 30e-3, 4, 7})};
        for (std::size_t m = 0; m < families.size(); ++m) {
            const Family& f = families[m];
            const bool measured = m == 1;
            for (double rk : {470.0, 1e3, 2.2e3}) {
                // A drive that spans several curves: at 1 V the measured curves' noise (40 uA)
                // outweighs the second harmonic's current (some 20 uA).
                SingleEndedInput in{.bPlus = 300.0, .ra = 10e3, .rk = rk, .vinPeak = 4.0};
                const SingleEndedResult r = AnalyseSingleEnded({f}, in);
                QVERIFY2(r.ok, r.reason.c_str());
                const double ia = Bisect(
                    [&](double i) {
                        return tube.AnodeCurrent(300.0 - i * (10e3 + rk), -i * rk) - i;
                    },
                    0.0, 300.0 / (10e3 + rk));
                QVERIFY(Near(r.ia, ia, measured ? 0.02 : 0.002, "Ia"));
                // The load line's numbers need every curve to reach the point's anode voltage,
                // which the measured top curves cut at 30 mA do not: they are compared with the
                // model curves' numbers instead.
                const LoadLineNumbers line =
                    AnalyseLoadLine(FamilyCurrents(clean), {r.va, r.ia, r.rac, 4.0});
                QVERIFY2(line.ok, line.reason.c_str());
                const double close = measured ? 0.03 : 0.002;
                QVERIFY(Near(r.gain, line.gain, close) && Near(r.swingDown, line.swingDown, close));
                QVERIFY(Near(r.thd, line.thd, measured ? 0.2 : 0.02, "THD"));
                // The model's own mu and rp at its point.
                const double va = 300.0 - ia * (10e3 + rk), vg = -ia * rk, h = 1e-3;
                const double gm =
                    (tube.AnodeCurrent(va, vg + h) - tube.AnodeCurrent(va, vg - h)) / (2 * h);
                const double rp =
                    2 * h / (tube.AnodeCurrent(va + h, vg) - tube.AnodeCurrent(va - h, vg));
                in.bypassed = false;
                in.vinPeak = 0.2;
                const SingleEndedResult u = AnalyseSingleEnded({f}, in);
                QVERIFY2(u.ok, u.reason.c_str());
                const double gain = gm * rp * 10e3 / (rp + 10e3 + (gm * rp + 1.0) * rk);
                QVERIFY(Near(u.gain, gain, measured ? 0.04 : 0.01, "unbypassed gain"));
            }
        }
    }

    void refusals() {
        const Family f = ModelFamily(KorenEL34(), 0.0, 5.0, 9, 500.0, 10.0);
        using Change = void (*)(SingleEndedInput&, PushPullInput&);
        const std::vector<std::tuple<bool, Change, const char*>> cases = {
            {false, [](auto& s, auto&) { s.gridBias = 2.0; }, "above the family's highest curve"},
            {false, [](auto& s, auto&) { s.gridBias = -150.0; }, "cut off"},
            {false, [](auto& s, auto&) { s.gridBias = -10.0, s.turnsRatio = 20.0; },
             "needs its load"},
            {false, [](auto& s, auto&) { s.bPlus = std::nan(""); }, "needs a supply"},
            {true, [](auto&, auto& p) { p.drivePeak = 21.0; }, "full drive is 20 V"},
            {true, [](auto&, auto& p) { p.ultralinearTap = 0.4; }, "two screen voltages"},
            {true, [](auto&, auto& p) { p.raa = 0.0; }, "needs a supply"}};
        for (const auto& [pushPull, change, said] : cases) {
            StageFields fields{{.bPlus = 300.0, .ra = 2e3},
                               pushPull,
                               {.bPlus = 450.0, .raa = 3.4e3, .gridBias = -20.0}};
            change(fields.single, fields.pair);
            const StageReport r = ComputeStage({f}, {}, fields);
            QVERIFY2(!r.Ok() && QString::fromStdString(r.Reason()).contains(said), said);
        }
    }

    // The pair at full drive against the same pair solved on the model at each point of the
    // period (the family reaches 500 V, the anodes 900 V: its curves are continued there);
    // an unmatched pair's even harmonics and the direct current its transformer leaves out.
    void pushPullPointByPoint() {
        const KorenTube el34 = KorenEL34(), strong = El34(el34.kg1 / 1.2);
        const Family a = ModelFamily(el34, 0.0, 5.0, 9, 500.0, 5.0),
                     b = ModelFamily(strong, 0.0, 5.0, 9, 500.0, 5.0);
        const auto model = [](const KorenTube& t) {
            return [t](double va, double vg) { return t.AnodeCurrent(va, vg); };
        };
        const PushPullInput in = PushPullInput{.bPlus = 450.0, .raa = 3.4e3, .gridBias = -20.0};
        const PushPullResult r = AnalysePushPull({a}, {a}, in);
        QVERIFY2(r.ok, r.reason.c_str());
        std::vector<double> plate;
        for (int k = 0; k < kPeriodSamples; ++k) {
            const double v = ModelPairVolts(model(el34), model(el34), 450.0, 3.4e3, -20.0, 20.0, k);
            plate.push_back(2.0 * v);
            QVERIFY2(
                std::fabs(r.v[k] - v) < 2.0,
                qPrintable(QString("phase %1: %2 V, the model %3 V").arg(k).arg(r.v[k]).arg(v)));
        }
        const Harmonics h = AnalysePeriod(plate);
        QVERIFY(Near(r.pout, h.rms * h.rms / 3.4e3, 0.01) && Near(r.thd, h.thd, 0.05));
        QVERIFY(r.hd2 < 0.01 && r.stageClass == "AB" &&
                Near(r.idle1, el34.AnodeCurrent(450.0, -20.0), 0.005));
        // As a tracer measures it: noise, currents below 0.1 mA read as 0, the -15 V curve
        // missing, the top curve cut at 300 mA.
        const Family measured =
            ModelFamily(el34, 0.0, 5.0, 9, 500.0, 5.0, {0.3e-3, 0.0, 0.1e-3, 0.3, 3, 5});
        const PushPullResult m = AnalysePushPull({measured}, {measured}, in);
        QVERIFY2(m.ok, m.reason.c_str());
        QVERIFY(Near(m.pout, r.pout, 0.03, "measured W") &&
                Near(m.thd, h.thd, 0.3, "measured THD"));

        const PushPullResult u = AnalysePushPull({a}, {b}, in);
        QVERIFY2(u.ok, u.reason.c_str());
        QVERIFY(u.hd2 > 0.3 && u.idle2 > u.idle1);
        double mean = 0.0, offset = 0.0;
        for (int k = 0; k < kPeriodSamples; ++k) {
            mean += u.v[k] / kPeriodSamples;
            offset += (u.i1[k] - u.i2[k]) / kPeriodSamples;
        }
        QVERIFY(std::fabs(mean) < 1e-3 * u.peakVolts);
        for (int k = 0; k < kPeriodSamples; k += 8)
            QVERIFY(std::fabs(ModelPairVolts(model(el34), model(strong), 450.0, 3.4e3, -20.0, 20.0,
                                             k, offset) -
                              u.v[k]) < 2.0);

        // Class A at a small drive, B with the grids past cut-off.
        PushPullInput small = in;
        small.drivePeak = 4.0;
        QCOMPARE(AnalysePushPull({a}, {a}, small).stageClass, std::string("A"));
        QCOMPARE(
            AnalysePushPull({a}, {a}, {.bPlus = 450.0, .raa = 3.4e3, .gridBias = -45.0}).stageClass,
            std::string("B"));
    }

    // Ultralinear: each screen on its tap, Vg2 = B+ + tap (Va - B+), between families measured
    // at screen voltages 50 V apart, against the model with that screen at each point.
    void ultralinear() {
        std::vector<Family> screens;  // from 150 to 550 V
        for (double screen = 150.0; screen <= 550.0; screen += 50.0) {
            KorenTube t = KorenEL34();
            t.screenVolts = screen;
            screens.push_back(ModelFamily(t, 0.0, 5.0, 9, 500.0, 5.0));
            for (Curve& c : screens.back().curves) c.grid2 = screen;
        }
        PushPullInput in = PushPullInput{.bPlus = 400.0, .raa = 6.6e3, .gridBias = -25.0};
        in.ultralinearTap = 0.43;
        const PushPullResult r = AnalysePushPull(screens, screens, in);
        QVERIFY2(r.ok, r.reason.c_str());
        const auto onTap = [&](double va, double vg) {
            KorenTube t = KorenEL34();
            t.screenVolts = 400.0 + 0.43 * (va - 400.0);
            return t.AnodeCurrent(va, vg);
        };
        std::vector<double> plate;
        for (int k = 0; k < kPeriodSamples; ++k)
            plate.push_back(2.0 * ModelPairVolts(onTap, onTap, 400.0, 6.6e3, -25.0, r.drive, k));
        const Harmonics h = AnalysePeriod(plate);
        QVERIFY(Near(r.pout, h.rms * h.rms / 6.6e3, 0.03, "W"));
        // The screens' feedback lowers the distortion against the same pair as pentodes at B+.
        in.ultralinearTap.reset();
        in.screen = 400.0;
        QVERIFY(r.thd < AnalysePushPull(screens, screens, in).thd);
    }

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
                // The model's grid voltage at (va, ia).
                const double vg =
                    Bisect([&](double g) { return ia - tube.AnodeCurrent(va, g); }, -20.0, 0.0);
                // Between the top or the bottom two curves the interpolation has one side only.
                if (vg > -2.0 || vg < -18.0) continue;
                const double gm =
                    (tube.AnodeCurrent(va, vg + h) - tube.AnodeCurrent(va, vg - h)) / (2 * h) * 1e3;
                const double rp =
                    2 * h / (tube.AnodeCurrent(va + h, vg) - tube.AnodeCurrent(va - h, vg)) * 1e-3;
                const double model[] = {gm, rp, gm * rp};
                for (std::size_t q = 0; q < maps.size(); ++q)
                    QVERIFY(Near(maps[q].At(c, r), model[q], 0.03, FieldName(maps[q].quantity)));
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
                // The curves at 0, -2, ... -20 V, their points at 5, 10, ... 400 V.
                const Curve& c = family.curves.at(static_cast<std::size_t>(std::lround(-p.vg / 2)));
                QCOMPARE(c.grid1, p.vg);
                const CurvePoint& at = c.points.at(static_cast<std::size_t>(t.va / 5) - 1);
                QVERIFY(at.volts == t.va && std::fabs(at.amperes - p.ia) < 1e-9);
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

    // Random distances for 2 to 10 tubes: pairs and quads as good as the best of all
    // groupings, each tube in one group at most, n mod size left over.
    void groupsAgainstEveryGrouping() {
        std::mt19937 random(11);
        std::uniform_real_distribution<double> spread(0.0, 1.0);
        for (int n = 2; n <= 10; ++n) {
            Matrix d(n, std::vector<double>(n, 0.0));
            for (int a = 0; a < n; ++a)
                for (int b = a + 1; b < n; ++b) d[a][b] = d[b][a] = spread(random);
            std::vector<int> all(static_cast<std::size_t>(n));
            std::iota(all.begin(), all.end(), 0);
            for (int size : {2, 4}) {
                if (n < size) continue;
                const auto groups =
                    BestGroups(n, size, [&](const std::vector<int>& g) { return Cost(d, g); });
                std::vector<int> members;
                for (const auto& g : groups) members.insert(members.end(), g.begin(), g.end());
                std::sort(members.begin(), members.end());
                QVERIFY(std::adjacent_find(members.begin(), members.end()) == members.end());
                QCOMPARE(static_cast<int>(members.size()), n - n % size);
                double total = 0.0;
                for (const auto& g : groups) total += Cost(d, g);
                QVERIFY2(
                    std::fabs(total - BruteForce(d, all, static_cast<std::size_t>(size))) < 1e-12,
                    qPrintable(QString("%1 tubes in groups of %2").arg(n).arg(size)));
            }
        }
    }

    // Seven EL34s whose Kg1 lie in three close pairs and one apart, measured with noise:
    // along a load line and over the plane the pairs come back as made, closest first.
    void tubesOfAKnownSpread() {
        const std::vector<double> kg1 = {650, 720, 655, 712, 590, 598, 800};
        std::vector<Family> tubes;
        for (std::size_t k = 0; k < kg1.size(); ++k) {
            tubes.push_back(ModelFamily(El34(kg1[k]), 0.0, 5.0, 9, 500.0, 10.0,
                                        {0.3e-3, 0.0, 0.0, 0.0, -1, static_cast<unsigned>(k + 1)}));
            tubes.back().name = "EL34_" + std::to_string(k);
        }
        MatchInput along;
        along.load = MatchLoad{3.4e3, 400.0, 0.05};
        for (const MatchInput& in : {along, MatchInput{}}) {
            const MatchResult r = MatchTubes(tubes, in);
            QVERIFY2(r.ok, r.reason.c_str());
            std::vector<std::array<int, 2>> pairs;
            for (auto p : r.pairs) pairs.push_back({std::min(p[0], p[1]), std::max(p[0], p[1])});
            QCOMPARE(pairs, (std::vector<std::array<int, 2>>{{0, 2}, {1, 3}, {4, 5}}));
            QCOMPARE(r.unpaired, std::vector<int>{6});
            QCOMPARE(r.quads.size(), std::size_t{1});
            QCOMPARE(r.unquadded.size(), std::size_t{3});
        }
        // Along the load line, every tube passes Ia0 at Va0 on the grid voltage found for it.
        const MatchResult r = MatchTubes(tubes, along);
        for (std::size_t k = 0; k < tubes.size(); ++k)
            QVERIFY(std::fabs(El34(kg1[k]).AnodeCurrent(400.0, r.tubes[k].grid0) / 0.05 - 1.0) <
                    0.02);
        // A tube whose curves do not reach the point is named.
        along.load->ia0 = 0.5;
        QVERIFY(QString::fromStdString(MatchTubes(tubes, along).reason).startsWith("EL34_0: "));
    }
};

QTEST_GUILESS_MAIN(TestStage)
#include "test_stage.moc"
