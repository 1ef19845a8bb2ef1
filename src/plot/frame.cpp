// Quick on purpose: the dissipation limit's steps are searched from a little before the
// first that can be drawn rather than from 1, and must be exactly those the search from 1
// draws: tests/plot/test_plot.cpp powerLimitPassesItsWorkedPoints checks that the first
// step drawn is the first within reach of the top edge and that none after it is missed.
#include "plot/frame.h"

#include <algorithm>
#include <cmath>

#include "tools/numtext.h"

namespace anodix {

bool ScaleUsable(float perDiv) { return perDiv >= kLeastScale && perDiv <= kGreatestScale; }

std::string ScaleRefusal(const std::string& text) {
    return text + " is not a usable scale (" + GeneralNumber(kLeastScale) + " to " +
           GeneralNumber(kGreatestScale) + " a division)";
}

namespace {

// Whole-number division of the rounded height; in double, so that no scale can overflow
// an integer.
double GridStep(const PlotSurface& surface) {
    return std::trunc(RoundHalfEven(surface.ScaleHeight()) / 8.0);
}

}  // namespace

std::vector<PlacedText> GridLabels(const PlotSurface& surface, float milliampsPerDiv,
                                   float voltsPerDiv) {
    const double step = GridStep(surface);
    const float labelHeight = surface.TextHeight("1");
    std::vector<PlacedText> labels;
    for (int k = 1; k <= 8; ++k)
        labels.push_back({Format(static_cast<float>(8 - k) * milliampsPerDiv, "0.##"), 1.0f,
                          static_cast<float>(k * step) - labelHeight});
    for (int k = 1; k <= 8; ++k)
        labels.push_back({PlotNumber(static_cast<float>(k) * voltsPerDiv),
                          static_cast<float>(k * step), kPlotUnits - labelHeight});
    return labels;
}

void DrawGrid(PlotSurface& surface, float milliampsPerDiv, float voltsPerDiv) {
    surface.KeepForeColor();
    surface.SetForeColor(kGridColour);
    const double step = GridStep(surface);
    const std::vector<PlacedText> labels = GridLabels(surface, milliampsPerDiv, voltsPerDiv);
    for (int k = 1; k <= 8; ++k) {
        const float y = static_cast<float>(k * step);
        const PlacedText& label = labels[static_cast<std::size_t>(k) - 1];
        surface.MoveTo(label.x, label.y);
        surface.Print(label.text);
        surface.Line(0.0f, y, kPlotUnits, y);
    }
    for (int k = 1; k <= 8; ++k) {
        const float x = static_cast<float>(k * step);
        const PlacedText& label = labels[static_cast<std::size_t>(k) + 7];
        surface.Line(x, 0.0f, x, kPlotUnits);
        surface.MoveTo(label.x, label.y);
        surface.Print(label.text);
    }
    surface.RestoreForeColor();
}

void DrawPowerLimit(PlotSurface& surface, float watts, float unitsPerVolt, float unitsPerMilliamp) {
    const float k = unitsPerVolt * 1000.0f * watts;
    const float scale = k * unitsPerMilliamp;
    // A power below zero would lie wholly below the plot; an undefined one nowhere.
    if (!(watts >= 0.0f) || !std::isfinite(scale)) return;

    surface.KeepForeColor();
    surface.SetForeColor(kLimitColour);
    surface.MoveTo(-1000.0f, -1000.0f);
    // h falls as i grows: no i more than a few below scale / 66000 draws anything, so the
    // search starts there (the test below still decides each i).
    const double firstDrawn = std::floor(static_cast<double>(scale) / 66000.0) - 2.0;
    const int start = firstDrawn > 65536.0 ? 65537 : std::max(1, static_cast<int>(firstDrawn));
    for (int i = start; i <= 65536; ++i) {
        const double h = static_cast<double>(scale) / i;
        if (h < 66000.0) surface.LineTo(static_cast<float>(i), static_cast<float>(65536.0 - h));
    }
    surface.RestoreForeColor();
}

void DrawLoadLine(PlotSurface& surface, float r, float x0, float y0, float unitsPerVolt,
                  float unitsPerMilliamp) {
    // The slope grows without bound as r goes to 0: the smallest resistance the field
    // accepts stands in for anything below it (and for an undefined one).
    if (!(r >= 0.01f)) r = 0.01f;
    const float d = kPlotUnits / r * unitsPerMilliamp / unitsPerVolt;
    surface.Line(x0 + kPlotUnits, y0 + d, x0 - kPlotUnits, y0 - d);
}

Readout ComputeReadout(float x, float y, float originX, float originY, float voltsPerDiv,
                       float milliampsPerDiv, const std::string& gmCaption) {
    Readout out;
    const float ua = x / kUnitsPerDiv * voltsPerDiv;
    const float ia = (kPlotUnits - y) / kUnitsPerDiv * milliampsPerDiv;
    out.Axpos = Format(ua, "##0.0");
    out.Aypos = Format(ia, "##0.0");

    const float dUa = (x - originX) / kUnitsPerDiv * voltsPerDiv;
    const float dIa = ((kPlotUnits - y) - (kPlotUnits - originY)) / kUnitsPerDiv * milliampsPerDiv;
    out.Xpos = Format(dUa, "##0.0");
    out.Ypos = Format(dIa, "##0.0");

    float rp = 0.0f;
    if (dIa != 0.0f) {
        rp = dUa / dIa;
        // A quotient beyond a float (a current difference of a few denormals) has no
        // meaningful reading.
        if (std::isfinite(rp))
            out.Req = Format(rp, "##0.0k");
        else
            rp = 0.0f;
    }

    if (gmCaption.empty()) return out;
    const std::optional<double> gm = WholeNumber(gmCaption);
    if (!gm) return out;
    out.muUpdated = true;
    out.Mu = Format(std::fabs(*gm * rp / 1000.0), "###.#");
    return out;
}

std::string GmCaption(const std::string& yposCaption, float gridStep) {
    if (gridStep == 0.0f || !std::isfinite(gridStep)) return "";
    const std::optional<double> current = WholeNumber(yposCaption);
    if (!current) return "";
    const double gm = std::fabs(*current / gridStep) * 1000.0;
    if (!std::isfinite(gm)) return "";
    return GeneralNumber(gm);
}

}  // namespace anodix
