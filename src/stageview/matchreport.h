#pragma once
// Matched tubes on paper: the figure of one pair (both tubes' curves over each other, the
// load line, where each works over the swing) and the report, a PDF whose first page holds
// the numbers and every pair's distance, and each further page the figure of a pair chosen.
#include <string>
#include <vector>

#include "curves/family.h"
#include "plot/surface.h"
#include "stage/matching.h"

namespace anodix {

void DrawPairFigure(PlotSurface& plot, const std::vector<Family>& tubes, const MatchResult& result,
                    const MatchInput& input, int first, int second);

// The report's pages, page 0 the numbers.
int MatchReportPages(const MatchResult& result);
void DrawMatchReportPage(PlotSurface& plot, const std::vector<Family>& tubes,
                         const MatchResult& result, const MatchInput& input, int page);

// Written whole or not at all (through ReplaceFile); false with the reason when not.
bool WriteMatchReport(const std::string& path, const std::vector<Family>& tubes,
                      const MatchResult& result, const MatchInput& input, std::string* reason);

}  // namespace anodix
