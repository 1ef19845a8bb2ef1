// Writes the example families: for each tube a TAB table of anode current in mA
// (title lines, header "1 0.001 first last step", one row per anode voltage) and the
// TDF file converted from it. Currents come from Koren's tube equations.
//   anodix_gen_examples OUTPUT_DIR
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "curves/convert.h"
#include "curves/koren.h"
#include "tools/replacefile.h"
#include "tools/numtext.h"

namespace {

using anodix::Format;
using anodix::KorenTube;

struct Example {
    const char* name;
    KorenTube tube;
    int gridFirst, gridLast;  // magnitudes of the grid range in volts
    double gridStep;          // signed: negative steps run towards negative grids
    int anodeLast, anodeStep;
    double ceilingMilliamps;  // cells above this stay empty (off the data sheet)
};

std::string Table(const Example& e) {
    std::string text;
    text += '"';
    text += e.name;
    text += " anode current in mA from Koren's model: ";
    text += e.tube.Describe();
    text += "\r\n";
    text += "\"Va (V)";
    const int curves =
        static_cast<int>(std::lround((e.gridLast - e.gridFirst) / std::fabs(e.gridStep)));
    for (int k = 0; k <= curves; ++k) {
        text += "\tVg1 ";
        text += Format(e.gridFirst + k * e.gridStep, "0.0#");
        text += " V";
    }
    text += "\r\n";
    text += "1\t0.001\t";
    text += std::to_string(e.gridFirst);
    text += '\t';
    text += std::to_string(e.gridLast);
    text += '\t';
    text += Format(e.gridStep, "0.0##");
    text += "\r\n";
    for (int va = 0; va <= e.anodeLast; va += e.anodeStep) {
        std::string row = std::to_string(va);
        for (int k = 0; k <= curves; ++k) {
            const double ma = 1000.0 * e.tube.AnodeCurrent(va, e.gridFirst + k * e.gridStep);
            row += '\t';
            // Currents below a microampere would be written as 0: left empty instead.
            if (ma >= 0.0005 && ma <= e.ceilingMilliamps) row += Format(ma, "0.###");
        }
        // Trailing empty cells are dropped, as a spreadsheet does.
        while (!row.empty() && row.back() == '\t') row.pop_back();
        text += row;
        text += "\r\n";
    }
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_DIR\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[1];
    const std::vector<Example> examples = {
        {"12AX7", anodix::Koren12AX7(), 0, 4, -0.5, 400, 5, 8.0},
        {"12AU7", anodix::Koren12AU7(), 0, 20, -2.0, 400, 5, 40.0},
        {"EL34", anodix::KorenEL34(), 0, 40, -5.0, 500, 10, 400.0},
        {"6L6GC", anodix::Koren6L6GC(), 0, 40, -5.0, 500, 10, 300.0},
    };
    for (const Example& e : examples) {
        const std::string table = Table(e);
        const anodix::TableConversion tdf = anodix::ConvertTable(table);
        if (!tdf.ok) {
            std::fprintf(stderr, "%s: %s\n", e.name, tdf.reason.c_str());
            return 1;
        }
        const std::string base = dir + "/" + e.name;
        std::string reason;
        for (const auto& [path, bytes] :
             {std::pair{base + ".txt", table}, std::pair{base + ".tdf", tdf.tdf}}) {
            if (!anodix::ReplaceFile(path, bytes, &reason)) {
                std::fprintf(stderr, "can't write %s: %s\n", path.c_str(), reason.c_str());
                return 1;
            }
        }
        std::printf("%s.tdf: %zu bytes, %s.txt: %zu bytes\n", e.name, tdf.tdf.size(), e.name,
                    table.size());
    }
    return 0;
}
