// Cook mode: the one full redraw of the plot, the dissipation limit and the load line,
// the cursor readout with the three mouse actions, and the five import slots.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

#include "app/base.h"
#include "curves/tdf.h"
#include "plot/frame.h"
#include "plot/scope.h"
#include "tools/appdir.h"
#include "tools/fields.h"
#include "tools/filedialog.h"
#include "tools/files.h"
#include "tools/numtext.h"

namespace anodix {

namespace {

// Scales used until a usable value has been read from the lists.
constexpr float kStartVoltsPerDiv = 20.0f;
constexpr float kStartMilliampsPerDiv = 1.0f;

// Files are given this many milliseconds to open and close.
constexpr int kFileTimeoutMs = 10;

float FieldNumber(const QString& text) {
    return static_cast<float>(LeadingNumber(text.toStdString()));
}

// A scale read from its list: kept when not zero and usable, else the one in force
// stays; with none in force yet, the start-up value.
float ReadScale(const QString& text, float inForce, float startValue) {
    const float value = FieldNumber(text);
    if (value != 0.0f && ScaleUsable(value)) return value;
    if (inForce != 0.0f) return inForce;
    return startValue;
}

}  // namespace

// ---------------------------------------------------------------------------------
// The redraw

void Base::RedrawPlot() {
    WindowState& s = state_;
    if (s.RedrawBusy || !s.StartupDone) return;
    s.RedrawBusy = true;
    Gm->hide();
    Req->hide();
    Mu->hide();

    s.VoltsPerDiv = ReadScale(CbVdiv->currentText(), s.VoltsPerDiv, kStartVoltsPerDiv);
    s.MilliampsPerDiv = ReadScale(CbMaDiv->currentText(), s.MilliampsPerDiv, kStartMilliampsPerDiv);

    PlotSurface& plot = Plot();
    plot.Clear();
    s.UnitsPerVolt = kUnitsPerDiv / s.VoltsPerDiv;
    s.UnitsPerMilliamp = kUnitsPerDiv / s.MilliampsPerDiv;
    s.TraceScaleX = s.CalX / s.VoltsPerDiv;
    s.TraceScaleY = s.CalY / s.MilliampsPerDiv;
    s.OriginX = 0.0f;
    s.OriginY = kPlotUnits;
    s.MarkX = 0.0f;
    s.MarkY = 0.0f;

    DrawPowerLimit(plot, FieldNumber(TxPwr->text()), s.UnitsPerVolt, s.UnitsPerMilliamp);
    plot.SetDrawWidth(2);
    if (CkCaptured->isChecked() && s.HaveCapture) DrawCapturedCurves();
    DrawImportedFamilies();
    // Events waiting meanwhile run here; a redraw they ask for is dropped.
    DoEvents();
    // Plot() again: a test may have swapped the surface, and the yield may have resized it.
    Plot().SetDrawWidth(1);
    DrawGrid(Plot(), s.MilliampsPerDiv, s.VoltsPerDiv);
    s.RedrawBusy = false;
    ScopeBox->update();
}

// No acquisition exists in this program, so there is never a captured family to draw.
void Base::DrawCapturedCurves() {}

void Base::DrawImportedFamilies() {
    if (state_.CurrentMode == "Capture") return;
    for (int k = 0; k < 5; ++k) {
        if (!CkImport[static_cast<std::size_t>(k)]->isChecked()) continue;
        const std::string path = SlotPath(k).toStdString();
        // A ticked slot without a file (from a configuration) has nothing to show.
        if (path.empty()) continue;
        const int fn = FileOpenByMode(path, "R", kFileTimeoutMs);
        if (fn == 0) continue;
        std::string text;
        const bool read = FileReadAll(fn, text);
        FileCloseRetry(fn, kFileTimeoutMs);
        if (!read) continue;
        PlotSurface& plot = Plot();
        const Rgb pen = plot.ForeColor();
        plot.SetForeColor(SlotColour(k));
        DrawTdfFamily(plot, text, state_.UnitsPerVolt, state_.UnitsPerMilliamp, state_.GridStep);
        plot.SetForeColor(pen);
    }
}

// ---------------------------------------------------------------------------------
// Dissipation limit and load line

void Base::PlaceOperatingPoint(float x, float y) {
    WindowState& s = state_;
    PlotSurface& plot = Plot();
    plot.SetDrawMode(kDrawXor);
    plot.KeepForeColor();
    plot.SetForeColor(kLoadLineColour);
    if (s.OriginY != kPlotUnits) {
        // Drawing the old figure again in XOR takes it off.
        DrawLoadLine(plot, s.LoadLineR, s.LoadLineX, s.LoadLineY, s.UnitsPerVolt, s.UnitsPerMilliamp);
        plot.Line(s.LoadLineX, s.LoadLineY, s.LoadLineX, kPlotUnits, kDropLineColour);
        plot.SetDrawWidth(12);
        plot.Point(s.OriginX, s.OriginY);
    }
    plot.SetDrawWidth(12);
    plot.Point(x, y);
    plot.SetDrawWidth(1);
    s.OriginX = x;
    s.OriginY = y;
    s.LoadLineR = FieldNumber(RLoad->text());
    s.LoadLineX = x;
    s.LoadLineY = y;
    DrawLoadLine(plot, s.LoadLineR, s.LoadLineX, s.LoadLineY, s.UnitsPerVolt, s.UnitsPerMilliamp);
    plot.Line(s.LoadLineX, s.LoadLineY, s.LoadLineX, kPlotUnits, kDropLineColour);
    plot.RestoreForeColor();
    plot.SetDrawMode(kDrawCopy);
    ScopeBox->update();
}

void Base::RLoad_Change() {
    if (!state_.StartupDone) return;
    // Each rewrite runs this handler again, nested, before this one goes on.
    if (FieldNumber(RLoad->text()) < 0.01f) RLoad->setText("0.01");
    if (FieldNumber(RLoad->text()) > 100000.0f) RLoad->setText("100000");
    PlaceOperatingPoint(state_.LoadLineX, state_.LoadLineY);
}

void Base::TxPwr_Change() {
    if (FieldNumber(TxPwr->text()) > 100.0f) TxPwr->setText("100");
    if (FieldNumber(TxPwr->text()) < 0.0f) TxPwr->setText("0");
    RedrawPlot();
}

// ---------------------------------------------------------------------------------
// Mouse on the plot and the readout

void Base::Scope_MouseMove(int button, int, float x, float y) {
    if (button == 0) ShowReadout(x, y);
}

void Base::ShowReadout(float x, float y) {
    const WindowState& s = state_;
    const Readout r = ComputeReadout(x, y, s.OriginX, s.OriginY, s.VoltsPerDiv, s.MilliampsPerDiv,
                                     Gm->text().toStdString());
    Axpos->setText(QString::fromStdString(r.Axpos));
    Aypos->setText(QString::fromStdString(r.Aypos));
    Xpos->setText(QString::fromStdString(r.Xpos));
    Ypos->setText(QString::fromStdString(r.Ypos));
    Req->setText(QString::fromStdString(r.Req));
    if (r.muUpdated) Mu->setText(QString::fromStdString(r.Mu));
}

void Base::Scope_MouseDown(int button, int shift, float x, float y) {
    WindowState& s = state_;
    if (s.CurrentMode == "Capture") return;

    if (button == 1 && shift == 1) {
        // Shift + left: the operating point, with the load line through it.
        RedrawPlot();
        TxUa0->setText(Axpos->text());
        TxIa0->setText(Aypos->text());
        PlaceOperatingPoint(x, y);
        Gm->hide();
        Req->hide();
        Mu->hide();
        RLoad->setFocus();
        return;
    }

    PlotSurface& plot = Plot();
    if (button == 1) {
        // Any other left click leaves a green mark until the next redraw.
        plot.SetDrawWidth(12);
        plot.Point(x, y, kMarkColour);
        plot.SetDrawWidth(1);
        ShowReadout(x, y);
        ScopeBox->update();
        return;
    }

    // Right or middle: move the Gm marker here and measure Gm from the relative current.
    auto drawMarker = [&plot](float mx, float my) {
        plot.SetDrawWidth(12);
        plot.Point(mx, my, kDropLineColour);
        plot.SetDrawWidth(1);
        plot.Line(mx, my, mx, kPlotUnits, kDropLineColour);
        plot.Line(mx, my, 0.0f, my, kDropLineColour);
    };
    plot.SetDrawWidth(12);
    plot.SetDrawMode(kDrawXor);
    if (s.MarkX != 0.0f || s.MarkY != 0.0f) drawMarker(s.MarkX, s.MarkY);
    s.MarkX = x;
    s.MarkY = y;
    drawMarker(s.MarkX, s.MarkY);
    plot.SetDrawMode(kDrawCopy);
    Gm->show();
    Req->show();
    Mu->show();
    // Without a grid step or a relative current shown, Gm stays empty.
    Gm->setText(QString::fromStdString(GmCaption(Ypos->text().toStdString(), s.GridStep)));
    ScopeBox->update();
}

// ---------------------------------------------------------------------------------
// Import slots

QString Base::SlotPath(int index) const { return slotPaths_.at(static_cast<std::size_t>(index)); }

void Base::SetSlotPath(int index, const QString& path) {
    slotPaths_.at(static_cast<std::size_t>(index)) = path;
}

void Base::BtCkBrowse_Click(int index) {
    std::string path;
    if (services_.dialogs != nullptr)
        path = FileDialog(*services_.dialogs, ProgramDirectory(), "*.tdf", "Import TDF data", "Open");
    if (!path.empty()) {
        SetSlotPath(index, QString::fromStdString(path));
        CkImport[static_cast<std::size_t>(index)]->setText(
            QString::fromStdString(GetField(GetFileName(path), 1, ".")));
        CkImport[static_cast<std::size_t>(index)]->setChecked(true);
    }
    RedrawPlot();
}

void Base::BtCkBrowse_MouseDown(int index, int button, int, float, float) {
    if (button != 2) return;
    QCheckBox* ck = CkImport[static_cast<std::size_t>(index)];
    SetSlotPath(index, "");
    ck->setText("Import >>");
    ck->setChecked(false);
}

void Base::BtExport_Click() {
    if (!state_.HaveCapture) {
        Message("No captured data");
        return;
    }
    // A captured family would be saved here; this program acquires none, so its text is
    // empty and only the file is written.
    const std::string text;
    Plot().SetDrawMode(kDrawXor);
    DrawTdfFamily(Plot(), text, state_.UnitsPerVolt, state_.UnitsPerMilliamp, state_.GridStep);
    Plot().SetDrawMode(kDrawCopy);
    if (services_.dialogs == nullptr) return;
    state_.ExportFileName =
        FileDialog(*services_.dialogs, ProgramDirectory(), "*.tdf", "Export TDF data", "Save");
    if (state_.ExportFileName.empty()) return;
    const int fn = FileOpenByMode(state_.ExportFileName, "W", kFileTimeoutMs);
    if (fn == 0) return;
    const bool written = FileWrite(fn, text + "\r\n");
    FileCloseRetry(fn, kFileTimeoutMs);
    if (written) state_.HaveCapture = false;
}

}  // namespace anodix
