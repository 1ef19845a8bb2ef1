#pragma once
// A stage from its fields: every number of a single-ended stage (operating point, gain,
// swing, power, distortion) or of a push-pull pair, from one call, and the same numbers as
// the lines of text the Stage panel and anodix-stage show.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "curves/family.h"
#include "stage/pushpull.h"
#include "stage/singleended.h"

namespace anodix {

struct StageFields {
    SingleEndedInput single;  // B+, Ra, Rk, RL, bypassed, drive, dissipation limit
    bool pushPull = false;    // the pair instead
    PushPullInput pair;       // B+, Raa, bias, drive, ultralinear tap
};

struct StageReport {
    bool pushPull = false;
    SingleEndedResult single;  // when not pushPull
    PushPullResult pair;       // when pushPull
    bool Ok() const { return pushPull ? pair.ok : single.ok; }
    const std::string& Reason() const { return pushPull ? pair.reason : single.reason; }
};

// tube: the families of the tube; second: the other tube of an unmatched pair, empty for a
// pair of the same tube.
StageReport ComputeStage(const std::vector<Family>& tube, const std::vector<Family>& second,
                         const StageFields& fields);

// The report as lines of text; a failure as the numbers found before it and the reason.
std::vector<std::string> DescribeStage(const StageReport& report, const StageFields& fields);

// A resistance typed in ohms, with k or K for kilohms and M for megohms ("10k", "1.5M",
// "470"): the whole text must be the number; none when it is not one, or not finite.
std::optional<double> ReadOhms(std::string_view text);

// A number to `digits` significant digits but at most `mostPlaces` decimals, "." as the point
// ("12.3", "0.052", "1234"; 7.6e-15 as "0.000000").
std::string Significant(double value, int digits = 3, int mostPlaces = 6);

}  // namespace anodix
