// Matching tubes: the groups chosen against a search over every grouping, and tubes made
// with a known spread (as a tracer measures them) paired as they were made.
#include <QtTest>

#include <numeric>
#include <random>

#include "stage/families.h"
#include "stage/matching.h"

using namespace anodix;
using namespace anodix::test;

namespace {

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

class TestMatching : public QObject {
    Q_OBJECT

private slots:
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
            KorenTube t = KorenEL34();
            t.kg1 = kg1[k];
            tubes.push_back(ModelFamily(t, 0.0, 5.0, 9, 500.0, 10.0,
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
        for (std::size_t k = 0; k < tubes.size(); ++k) {
            KorenTube t = KorenEL34();
            t.kg1 = kg1[k];
            QVERIFY(std::fabs(t.AnodeCurrent(400.0, r.tubes[k].grid0) / 0.05 - 1.0) < 0.02);
        }
        // A tube whose curves do not reach the point is named.
        along.load->ia0 = 0.5;
        QVERIFY(QString::fromStdString(MatchTubes(tubes, along).reason).startsWith("EL34_0: "));
    }
};

QTEST_GUILESS_MAIN(TestMatching)
#include "test_matching.moc"
