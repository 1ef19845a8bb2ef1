// Cook mode: the one full redraw of the plot, the dissipation limit and the load line,
// the cursor readout with the three mouse actions, and the five import slots.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <optional>

#include "app/base.h"
#include "app/scope.h"
#include "curves/family.h"
#include "plot/frame.h"
#include "tools/appdir.h"
#include "tools/dialogs.h"
#include "tools/fields.h"
#include "tools/numtext.h"
#include "tools/replacefile.h"

namespace anodix {

namespace {

// Scales used until a usable value has been read from the lists.
constexpr float kStartVoltsPerDiv = 20.0f;
constexpr float kStartMilliampsPerDiv = 1.0f;

// A field's number as the 32-bit value the plot works with.
float FloatNumber(const QString& text) { return static_cast<float>(Base::TextNumber(text)); }

// A scale's text as a scale: none when it does not begin with a usable one.
std::optional<float> TextScale(const QString& text) {
    const std::string t = text.toStdString();
    const float value = FloatNumber(text);
    if (!BeginsWithNumber(t) || !ScaleUsable(value)) return std::nullopt;
    return value;
}

// A scale read from its list: the one in force stays for a text that is not usable; with
// none in force yet, the start-up value.
float ReadScale(const QString& text, float inForce, float startValue) {
    if (const std::optional<float> value = TextScale(text)) return *value;
    if (inForce != 0.0f) return inForce;
    return startValue;
}

}  // namespace

// ---------------------------------------------------------------------------------
// The redraw

CookScene Base::Scene() const {
    const WindowState& s = state_;
    CookScene scene;
    scene.voltsPerDiv = s.VoltsPerDiv != 0.0f ? s.VoltsPerDiv : kStartVoltsPerDiv;
    scene.milliampsPerDiv = s.MilliampsPerDiv != 0.0f ? s.MilliampsPerDiv : kStartMilliampsPerDiv;
    scene.watts = FloatNumber(TxPwr->text());
    scene.cookMode = !s.InCaptureMode();
    for (std::size_t k = 0; k < scene.imports.size(); ++k)
        scene.imports[k] = {slots_[k].file.shown, CkImport[k]->isChecked(), slotModels_[k],
                            GetField(GetFileName(slots_[k].path.toStdString()), 1, ".")};
    scene.showModels = Mnu_ShowModels->isChecked();
    if (s.OriginY != kPlotUnits)
        scene.operatingPoint = OperatingPoint{{s.LoadLineX, s.LoadLineY}, s.LoadLineR};
    scene.marks = s.Marks;
    if (CkCaptured->isChecked() && s.HaveCapture)
        scene.captured = std::make_shared<const ShownFamily>(ShownAsTdf(CapturedRowFamily()));
    if (s.MarkX != 0.0f || s.MarkY != 0.0f) scene.gmMarker = PlotPoint{s.MarkX, s.MarkY};
    return scene;
}

bool Base::RefuseScaleText(QComboBox* list) {
    const QString text = list->currentText();
    if (TextScale(text)) return false;
    const bool volts = list == CbVdiv;
    const float inForce = volts ? state_.VoltsPerDiv : state_.MilliampsPerDiv;
    const float shown =
        inForce != 0.0f ? inForce : (volts ? kStartVoltsPerDiv : kStartMilliampsPerDiv);
    const std::string quoted = BeginsWithNumber(text.toStdString())
                                   ? text.trimmed().toStdString()
                                   : "\"" + text.toStdString() + "\"";
    list->setEditText(QString::fromStdString(GeneralNumber(shown)));
    Status(std::string(volts ? "V/div: " : "mA/div: ") + ScaleRefusal(quoted));
    return true;
}

void Base::RedrawPlot() {
    WindowState& s = state_;
    if (s.RedrawBusy || !s.StartupDone) return;
    // A scale text that is no usable scale goes back to the scale in force, unless the user
    // is still typing it (Enter or leaving the list refuses it then).
    for (QComboBox* list : {CbVdiv, CbMaDiv})
        if (!(list->hasFocus() && list->lineEdit()->isModified())) RefuseScaleText(list);
    s.RedrawBusy = true;
    Gm->hide();
    Req->hide();
    Mu->hide();

    s.VoltsPerDiv = ReadScale(CbVdiv->currentText(), s.VoltsPerDiv, kStartVoltsPerDiv);
    s.MilliampsPerDiv = ReadScale(CbMaDiv->currentText(), s.MilliampsPerDiv, kStartMilliampsPerDiv);
    s.UnitsPerVolt = kUnitsPerDiv / s.VoltsPerDiv;
    s.UnitsPerMilliamp = kUnitsPerDiv / s.MilliampsPerDiv;
    s.TraceScaleX = s.CalX / s.VoltsPerDiv;
    s.TraceScaleY = s.CalY / s.MilliampsPerDiv;
    if (s.LoadLineSet) {
        s.LoadLineX = s.LoadLineUa * s.UnitsPerVolt;
        s.LoadLineY = kPlotUnits - s.LoadLineIa * s.UnitsPerMilliamp;
    }
    // Clearing the plot takes the operating point, the Gm marker and the marks with it.
    s.OriginX = 0.0f;
    s.OriginY = kPlotUnits;
    s.MarkX = 0.0f;
    s.MarkY = 0.0f;
    s.Marks.clear();

    // The families shown are those in memory; a file changed since it was read is read
    // again first, so that an edit made outside the program shows now.
    if (!s.InCaptureMode())
        for (std::size_t k = 0; k < slots_.size(); ++k)
            if (CkImport[k]->isChecked()) RefreshSlot(k);
    const CookScene scene = Scene();
    DrawCookBase(Plot(), scene);
    // The stage over the scene, when the Stage panel is filled in.
    if (!s.InCaptureMode()) {
        RefreshStage();
        DrawStage(Plot(), scene);
    }
    if (const std::optional<float> step = ShownGridStep(scene)) s.GridStep = *step;
    // Events waiting meanwhile run once the picture is whole; a redraw they ask for is
    // dropped.
    DoEvents();
    s.RedrawBusy = false;
    ScopeBox->update();
    ShowLoadLineNumbers();
}

// ---------------------------------------------------------------------------------
// Dissipation limit and load line

void Base::PlaceOperatingPoint(float x, float y) {
    WindowState& s = state_;
    PlotSurface& plot = Plot();
    // Drawing the old figure again takes it off.
    if (s.OriginY != kPlotUnits)
        DrawOperatingPoint(plot, {{s.LoadLineX, s.LoadLineY}, s.LoadLineR}, s.UnitsPerVolt,
                           s.UnitsPerMilliamp);
    s.OriginX = x;
    s.OriginY = y;
    s.LoadLineR = FloatNumber(RLoad->text());
    s.LoadLineX = x;
    s.LoadLineY = y;
    s.LoadLineSet = true;
    s.LoadLineUa = x / s.UnitsPerVolt;
    s.LoadLineIa = (kPlotUnits - y) / s.UnitsPerMilliamp;
    DrawOperatingPoint(plot, {{x, y}, s.LoadLineR}, s.UnitsPerVolt, s.UnitsPerMilliamp);
    ScopeBox->update();
    ShowLoadLineNumbers();
}

void Base::RLoad_Change() {
    if (!state_.StartupDone) return;
    // Each rewrite runs this handler again, nested, before this one goes on.
    if (FloatNumber(RLoad->text()) < 0.01f) RLoad->setText("0.01");
    if (FloatNumber(RLoad->text()) > 100000.0f) RLoad->setText("100000");
    PlaceOperatingPoint(state_.LoadLineX, state_.LoadLineY);
}

void Base::TxPwr_Change() {
    if (FloatNumber(TxPwr->text()) > 100.0f) TxPwr->setText("100");
    if (FloatNumber(TxPwr->text()) < 0.0f) TxPwr->setText("0");
    RedrawPlot();
}

void Base::ChooseOperatingPoint(float x, float y) {
    PlaceOperatingPoint(x, y);
    Gm->hide();
    Req->hide();
    Mu->hide();
    RLoad->setFocus();
}

// Enter in Ua0 or Ia0 places the operating point at the voltage and current typed, as a
// Shift + left click there would; a text that is no usable value is refused with a word.
void Base::TxUa0_KeyPress(int keyAscii) {
    if (keyAscii == kKeyEnter) PlaceTypedOperatingPoint();
}

void Base::TxIa0_KeyPress(int keyAscii) {
    if (keyAscii == kKeyEnter) PlaceTypedOperatingPoint();
}

void Base::PlaceTypedOperatingPoint() {
    if (state_.InCaptureMode()) return;
    const std::optional<double> ua = WholeNumber(TxUa0->text().toStdString());
    const std::optional<double> ia = WholeNumber(TxIa0->text().toStdString());
    const auto usable = [](std::optional<double> v) { return v && *v >= 0.0 && *v <= 1e6; };
    if (!usable(ua) || !usable(ia)) {
        Status("Ua0 and Ia0 take a voltage and a current of 0 or more: \"" +
               TxUa0->text().toStdString() + "\" V, \"" + TxIa0->text().toStdString() + "\" mA");
        return;
    }
    RedrawPlot();
    const WindowState& s = state_;
    ChooseOperatingPoint(static_cast<float>(*ua) * s.UnitsPerVolt,
                         kPlotUnits - static_cast<float>(*ia) * s.UnitsPerMilliamp);
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
    if (s.InCaptureMode()) return;

    if (button == 1 && shift == 1) {
        // Shift + left: the operating point, with the load line through it.
        RedrawPlot();
        TxUa0->setText(Axpos->text());
        TxIa0->setText(Aypos->text());
        ChooseOperatingPoint(x, y);
        return;
    }

    PlotSurface& plot = Plot();
    if (button == 1) {
        // Any other left click leaves a green mark until the next redraw.
        DrawMark(plot, {x, y});
        s.Marks.push_back({x, y});
        ShowReadout(x, y);
        ScopeBox->update();
        return;
    }

    // Right or middle: move the Gm marker here and measure Gm from the relative current.
    if (s.MarkX != 0.0f || s.MarkY != 0.0f) DrawGmMarker(plot, {s.MarkX, s.MarkY});
    s.MarkX = x;
    s.MarkY = y;
    DrawGmMarker(plot, {x, y});
    Gm->show();
    Req->show();
    Mu->show();
    // Without a grid step or a relative current shown, Gm stays empty.
    Gm->setText(QString::fromStdString(GmCaption(Ypos->text().toStdString(), s.GridStep)));
    ScopeBox->update();
}

// ---------------------------------------------------------------------------------
// Import slots

QString Base::SlotPath(int index) const { return slots_.at(static_cast<std::size_t>(index)).path; }

const CurveFile& Base::SlotFile(int index) const {
    return slots_.at(static_cast<std::size_t>(index)).file;
}

void Base::RefreshSlot(std::size_t k) {
    Slot& slot = slots_.at(k);
    if (!slot.path.isEmpty() &&
        RefreshCurveFile(slot.path.toStdString(), slot.file, GetFileName(slot.path.toStdString())))
        ShowSlotState(k);
}

void Base::ShowSlotState(std::size_t k) {
    const Slot& slot = slots_.at(k);
    QCheckBox* box = CkImport.at(k);
    // A file gone or unreadable: the slot keeps it, struck out, its tip naming it.
    const bool missing = !slot.path.isEmpty() && !slot.file.ok;
    QFont font = box->font();
    font.setStrikeOut(missing);
    box->setFont(font);
    // A file of several screen voltages shows its first; the tip says which.
    QString tip = QString::fromStdString(slot.file.note);
    if (missing)
        tip = slot.file.reason.empty()
                  ? "Missing: " + slot.path
                  : "Can't read " + slot.path + ": " + QString::fromStdString(slot.file.reason);
    box->setToolTip(tip);
}

void Base::PutInSlot(std::size_t k, const QString& path, CurveFile file) {
    // A model belongs to the family it was fitted to.
    if (slots_.at(k).path != path) {
        slotFits_.at(k).reset();
        slotModels_.at(k).reset();
    }
    slots_.at(k) = {path, std::move(file)};
    ShowSlotState(k);
}

void Base::SetSlotPath(int index, const QString& path) {
    const std::string name = path.toStdString();
    PutInSlot(static_cast<std::size_t>(index), path,
              name.empty() ? CurveFile{} : ReadCurveFile(name, GetFileName(name)));
}

void Base::BtCkBrowse_Click(int index) {
    std::string path;
    if (services_.dialogs != nullptr)
        path =
            FileDialog(*services_.dialogs, ProgramDirectory(), "*.tdf", "Import TDF data", "Open",
                       {{"Curve files (*.tdf *.utd *.txt *.dat *.csv *.tsv)",
                         "*.tdf *.utd *.txt *.dat *.csv *.tsv"}});
    if (!path.empty()) TakeIntoSlot(index, path);
    RedrawPlot();
}

bool Base::TakeIntoSlot(int index, const std::string& path) {
    return TakeIntoSlot(index, path, ReadCurveFile(path, GetFileName(path)));
}

bool Base::TakeIntoSlot(int index, const std::string& path, CurveFile file) {
    if (!file.ok && !file.reason.empty()) {
        Message("Can't read " + path + ": " + file.reason);
        return false;
    }
    const auto k = static_cast<std::size_t>(index);
    PutInSlot(k, QString::fromStdString(path), std::move(file));
    CkImport[k]->setText(QString::fromStdString(GetField(GetFileName(path), 1, ".")));
    CkImport[k]->setChecked(true);
    return true;
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
    const Family row = CapturedRowFamily();
    const ShownFamily shown = ShownAsTdf(row);
    Plot().SetDrawMode(kDrawXor);
    // Labelled as the redraw labelled it, so that drawing it again takes it off whole.
    LabelRoom room = CaptionRoom(Plot(), Scene());
    DrawFamily(Plot(), shown.family, state_.UnitsPerVolt, state_.UnitsPerMilliamp, room);
    if (shown.gridStep) state_.GridStep = *shown.gridStep;
    Plot().SetDrawMode(kDrawCopy);
    if (services_.dialogs == nullptr) return;
    state_.ExportFileName =
        FileDialog(*services_.dialogs, ProgramDirectory(), "*.tdf", "Export TDF data", "Save");
    if (state_.ExportFileName.empty()) return;
    std::string reason;
    if (!ReplaceFile(state_.ExportFileName, TdfText(row) + "\r\n", &reason)) {
        Message("Can't write " + state_.ExportFileName + ": " + reason, "Anodix",
                MessageIcon::Critical);
        return;
    }
    state_.HaveCapture = false;
    BtExport->setEnabled(false);
}

}  // namespace anodix
