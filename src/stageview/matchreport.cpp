#include "stageview/matchreport.h"

#include <QBuffer>
#include <QPageSize>
#include <QPdfWriter>
#include <algorithm>

#include "plot/frame.h"
#include "plot/paintersurface.h"
#include "stage/stage.h"
#include "stageview/viewframe.h"
#include "tools/replacefile.h"

namespace anodix {

namespace {

// A4 across, in pixels at 96 per inch.
constexpr double kPageWidth = 1123.0, kPageHeight = 794.0;
constexpr std::size_t kMatrixTubes = 16;  // the distance table is printed up to this many
constexpr std::size_t kNameCells = 12;    // a name's characters in the table

std::string Cell(const std::string& name) {
    return name.size() > kNameCells ? name.substr(0, kNameCells) : name;
}

void DrawNumbersPage(PlotSurface& plot, const MatchResult& r, const MatchInput& in) {
    plot.Clear();
    const float h = plot.TextHeight("1");
    std::vector<std::string> lines = DescribeMatch(r, in);
    lines.insert(lines.begin(), "Matched tubes");
    PrintLines(plot, 2000.0f, 2000.0f, lines, kTextColour);
    const std::size_t n = r.tubes.size();
    if (!r.ok || n > kMatrixTubes) return;
    // Every pair's distance in mA, a row and a column per tube.
    const float top = 2000.0f + h * static_cast<float>(lines.size() + 2);
    const float left = 2000.0f, first = 8000.0f,
                width = (kPlotUnits - first - 1000.0f) / static_cast<float>(n);
    PrintLines(plot, left, top, {"Distances (mA)"}, kTextColour);
    for (std::size_t a = 0; a < n; ++a) {
        PrintLines(plot, first + width * static_cast<float>(a), top + h, {Cell(r.tubes[a].name)},
                   kTextColour);
        PrintLines(plot, left, top + h * static_cast<float>(a + 2), {Cell(r.tubes[a].name)},
                   kTextColour);
        for (std::size_t b = 0; b < n; ++b) {
            if (a == b) continue;
            PrintLines(plot, first + width * static_cast<float>(b),
                       top + h * static_cast<float>(a + 2),
                       {Significant(r.distance[a][b] * 1e3, 2)}, kTextColour);
        }
    }
}

}  // namespace

void DrawPairFigure(PlotSurface& plot, const std::vector<Family>& tubes, const MatchResult& r,
                    const MatchInput& in, int first, int second) {
    const Family& a = tubes.at(static_cast<std::size_t>(first));
    const Family& b = tubes.at(static_cast<std::size_t>(second));
    std::vector<AnodePoint> reach;
    for (const Family* f : {&a, &b})
        for (const Curve& c : f->curves)
            for (const CurvePoint& p : c.points) reach.push_back({p.volts, p.amperes});
    ViewAxes axes = AnodeAxes(Family{}, reach);
    std::vector<std::string> title{a.name + " (blue) and " + b.name + " (orange)"};
    if (r.ok)
        title.push_back(
            "distance " +
            Significant(
                r.distance[static_cast<std::size_t>(first)][static_cast<std::size_t>(second)] * 1e3,
                2) +
            " mA (" +
            Significant(
                r.Percent(
                    r.distance[static_cast<std::size_t>(first)][static_cast<std::size_t>(second)]),
                2) +
            " %)");
    DrawViewFrame(plot, axes, title);
    DrawFamilyCurves(plot, a, axes, kFamilyColour);
    DrawFamilyCurves(plot, b, axes, kSecondColour);
    if (!r.ok) return;
    if (in.load) {
        const MatchLoad& l = *in.load;
        plot.Line(axes.X(0.0), axes.Y((l.ia0 + l.va0 / l.rLoad) * 1e3),
                  axes.X(l.va0 + l.ia0 * l.rLoad), axes.Y(0.0), kAcLineColour);
    }
    // Where each works at the compared grid voltages.
    plot.SetDrawWidth(7);
    for (const AnodePoint& p : r.tubes[static_cast<std::size_t>(first)].points)
        plot.Point(axes.X(p.va), axes.Y(p.ia * 1e3), kFamilyColour);
    for (const AnodePoint& p : r.tubes[static_cast<std::size_t>(second)].points)
        plot.Point(axes.X(p.va), axes.Y(p.ia * 1e3), kSecondColour);
    plot.SetDrawWidth(1);
}

int MatchReportPages(const MatchResult& r) {
    return 1 + (r.ok ? static_cast<int>(r.pairs.size()) : 0);
}

void DrawMatchReportPage(PlotSurface& plot, const std::vector<Family>& tubes, const MatchResult& r,
                         const MatchInput& in, int page) {
    if (page <= 0 || page > static_cast<int>(r.pairs.size())) {
        DrawNumbersPage(plot, r, in);
        return;
    }
    const auto& pair = r.pairs[static_cast<std::size_t>(page - 1)];
    DrawPairFigure(plot, tubes, r, in, pair[0], pair[1]);
}

bool WriteMatchReport(const std::string& path, const std::vector<Family>& tubes,
                      const MatchResult& r, const MatchInput& in, std::string* reason) {
    QByteArray bytes;
    {
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        QPdfWriter writer(&buffer);
        writer.setCreator(QStringLiteral("Anodix"));
        writer.setTitle(QStringLiteral("Matched tubes"));
        writer.setPageSize(QPageSize(QSizeF(kPageWidth, kPageHeight) * 0.75, QPageSize::Point,
                                     QString(), QPageSize::ExactMatch));
        writer.setPageMargins(QMarginsF(0, 0, 0, 0));
        PainterSurface surface(&writer, QSizeF(writer.width(), writer.height()),
                               writer.resolution() / 96.0, false);
        for (int page = 0; page < MatchReportPages(r); ++page) {
            if (page > 0) {
                surface.Flush();
                writer.newPage();
            }
            surface.Clear();  // starts the painter on the first page
            if (!surface.IsPainting()) {
                if (reason != nullptr) *reason = "the PDF drawing could not be started";
                return false;
            }
            DrawMatchReportPage(surface, tubes, r, in, page);
        }
    }
    return ReplaceFile(
        path, std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())), reason);
}

}  // namespace anodix
