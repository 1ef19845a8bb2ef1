// The Stage panel: B+, Ra, Rk, RL, bypassed, push-pull with Raa and bias; its numbers for
// the first ticked family, worked out again only when a field, the swing, Pd or the family
// changes, and the stage drawn over the plot (bias line, load lines, the point). From the
// Plot menu: the gm, rp and mu maps, the transfer curves and the stage's own view, each in a
// window of its own with an Export..., and the matching of the ticked families.
#include <QCheckBox>
#include <QDialog>
#include <QDockWidget>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>
#include <cmath>

#include "app/base.h"
#include "app/scope.h"
#include "stage/matching.h"
#include "stageview/matchreport.h"
#include "stageview/stageviews.h"
#include "tools/appdir.h"
#include "tools/dialogs.h"
#include "tools/numtext.h"

namespace anodix {

namespace {

// The panel's fields, in the order of Base::StagePanel::value.
enum StageField : std::size_t { kBplus, kRa, kRk, kRl, kRaa, kBias, kStageFieldCount };

// The width of the column that holds the panel.
constexpr int kStageColumnWidth = 214;

bool IsOhms(std::size_t field) {
    return field == kRa || field == kRk || field == kRl || field == kRaa;
}

// A field's text as its value: none for an empty field; nothing at all when the text is no
// usable value (a typing not finished, a word).
std::optional<std::optional<double>> StageValue(std::size_t field, const QString& text) {
    const std::string t = text.trimmed().toStdString();
    if (t.empty()) return std::optional<double>();
    if (IsOhms(field)) {
        const std::optional<double> ohms = ReadOhms(t);
        if (!ohms || *ohms < 0.0 || *ohms > 1e9) return std::nullopt;
        return ohms;
    }
    const std::optional<double> volts = WholeNumber(t);
    if (!volts || !std::isfinite(*volts)) return std::nullopt;
    if (field == kBplus && (*volts < 1.0 || *volts > 1e5)) return std::nullopt;
    // A fixed bias is a grid below its cathode, whichever sign it is typed with.
    if (field == kBias) {
        if (std::fabs(*volts) > 1e4) return std::nullopt;
        return std::optional<double>(-std::fabs(*volts));
    }
    return volts;
}

const char* const kStageRefusal[kStageFieldCount] = {
    "B+ takes a supply of 1 to 100000 V",      "Ra takes a resistance (10k, 1.5M, 470)",
    "Rk takes a resistance (10k, 1.5M, 470)",  "RL takes a resistance (10k, 1.5M, 470)",
    "Raa takes a resistance (10k, 1.5M, 470)", "Bias takes a grid voltage of up to 10000 V"};

bool SameFields(const StageFields& a, const StageFields& b) {
    const SingleEndedInput &s = a.single, &t = b.single;
    const PushPullInput &p = a.pair, &q = b.pair;
    return a.pushPull == b.pushPull && s.bPlus == t.bPlus && s.ra == t.ra && s.rk == t.rk &&
           s.gridBias == t.gridBias && s.rl == t.rl && s.bypassed == t.bypassed &&
           s.vinPeak == t.vinPeak && s.pdWatts == t.pdWatts && p.bPlus == q.bPlus &&
           p.raa == q.raa && p.gridBias == q.gridBias && p.pdWatts == q.pdWatts;
}

// The panel's column: its width when there is room, narrower (down to nothing) when the
// window is, so that a small window still lays out.
class StageColumn : public QWidget {
public:
    using QWidget::QWidget;
    QSize sizeHint() const override { return {kStageColumnWidth, 560}; }
    QSize minimumSizeHint() const override { return {0, 0}; }
};

// Shows a view, drawn again whenever its size changes.
class ViewBox : public QWidget {
public:
    ViewBox(DrawPicture draw, QWidget* parent) : QWidget(parent), draw_(std::move(draw)) {}

protected:
    void paintEvent(QPaintEvent*) override {
        const qreal ratio = devicePixelRatioF();
        const QSize pixels = (QSizeF(size()) * ratio).toSize().expandedTo(QSize(1, 1));
        if (image_.size() != pixels) image_ = RenderImage(pixels, ratio, draw_);
        QPainter(this).drawImage(QPointF(0, 0), image_);
    }

private:
    DrawPicture draw_;
    QImage image_;
};

}  // namespace

// The values in force of the fields (none: empty), the texts they came from, and the numbers
// with what they were worked out from.
struct Base::StagePanel {
    std::array<std::optional<double>, kStageFieldCount> value{};
    std::array<QString, kStageFieldCount> text{};
    bool computed = false;
    std::shared_ptr<const std::vector<Family>> families;
    StageFields fields;
    StageReport report;
    std::string missing = "Type B+ and Ra.";  // why there are no numbers
};

void Base::BuildStageControls() {
    stage_ = std::make_shared<StagePanel>();
    DockStage = new QDockWidget(this);
    DockStage->setObjectName("DockStage");
    DockStage->setFeatures(QDockWidget::NoDockWidgetFeatures);
    // No title bar: the panel's frame says what it is.
    auto* bar = new QWidget(DockStage);
    auto* barLayout = new QHBoxLayout(bar);
    barLayout->setContentsMargins(0, 0, 0, 0);
    DockStage->setTitleBarWidget(bar);
    auto* column = new StageColumn(DockStage);
    column->setObjectName("StageColumn");
    DockStage->setWidget(column);
    addDockWidget(Qt::RightDockWidgetArea, DockStage);

    FrmStage = new QGroupBox("Stage", column);
    FrmStage->setObjectName("FrmStage");
    FrmStage->setGeometry(0, 8, kStageColumnWidth - 8, 560);
    const char* names[kStageFieldCount] = {"TxBplus", "TxRa", "TxRk", "TxRl", "TxRaa", "TxBias"};
    const char* captions[kStageFieldCount] = {"B+", "Ra", "Rk", "RL", "Raa", "Bias"};
    const char* units[kStageFieldCount] = {"V", "Ohm", "Ohm", "Ohm", "Ohm", "V"};
    const char* tips[kStageFieldCount] = {"Supply in volts (a pair: the centre tap)",
                                          "Anode resistor in ohms (10k, 1.5M)",
                                          "Cathode resistor; empty: the fixed bias below, or none",
                                          "The next stage's grid resistor; empty: none",
                                          "The pair's plate-to-plate load",
                                          "Fixed grid bias in volts, below the cathode"};
    std::array<QLineEdit*, kStageFieldCount> fields{};
    for (std::size_t i = 0; i < kStageFieldCount; ++i) {
        // Raa and Bias sit below the two boxes.
        const int y = 20 + static_cast<int>(i) * 24 + (i >= kRaa ? 48 : 0);
        auto* caption = new QLabel(captions[i], FrmStage);
        caption->setObjectName(QString("LabelStageField_%1").arg(i));
        caption->setGeometry(8, y + 2, 34, 16);
        LabelStageField[i] = caption;
        auto* field = new QLineEdit(FrmStage);
        field->setObjectName(names[i]);
        field->setGeometry(44, y, 90, 20);
        field->setToolTip(tips[i]);
        fields[i] = field;
        auto* unit = new QLabel(units[i], FrmStage);
        unit->setObjectName(QString("LabelStageUnit_%1").arg(i));
        unit->setGeometry(138, y + 2, 40, 16);
    }
    TxBplus = fields[kBplus];
    TxRa = fields[kRa];
    TxRk = fields[kRk];
    TxRl = fields[kRl];
    TxRaa = fields[kRaa];
    TxBias = fields[kBias];
    CkBypassed = new QCheckBox("Rk bypassed", FrmStage);
    CkBypassed->setObjectName("CkBypassed");
    CkBypassed->setGeometry(8, 116, 110, 20);
    CkBypassed->setChecked(true);
    CkPushPull = new QCheckBox("Push-pull", FrmStage);
    CkPushPull->setObjectName("CkPushPull");
    CkPushPull->setGeometry(8, 140, 90, 20);
    CkPushPull->setToolTip("Two tubes of the family on Raa at the fixed bias, at full drive");
    LabelStage = new QLabel(FrmStage);
    LabelStage->setObjectName("LabelStage");
    LabelStage->setGeometry(8, 220, kStageColumnWidth - 24, 330);
    LabelStage->setWordWrap(true);
    LabelStage->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    LabelStage->setTextInteractionFlags(Qt::TextSelectableByMouse);
    LabelStage->setText(QString::fromStdString(stage_->missing));
}

void Base::BuildStageMenus() {
    Mnu_Maps = Mnu_Plot->addMenu("Maps");
    Mnu_Maps->setObjectName("Mnu_Maps");
    Mnu_MapGm = Mnu_Maps->addAction("gm ...");
    Mnu_MapGm->setObjectName("Mnu_MapGm");
    Mnu_MapRp = Mnu_Maps->addAction("rp ...");
    Mnu_MapRp->setObjectName("Mnu_MapRp");
    Mnu_MapMu = Mnu_Maps->addAction("mu ...");
    Mnu_MapMu->setObjectName("Mnu_MapMu");
    Mnu_Transfer = Mnu_Plot->addAction("Transfer curves ...");
    Mnu_Transfer->setObjectName("Mnu_Transfer");
    Mnu_StageView = Mnu_Plot->addAction("Stage view ...");
    Mnu_StageView->setObjectName("Mnu_StageView");
    Mnu_Match = Mnu_Plot->addAction("Match ticked families ...");
    Mnu_Match->setObjectName("Mnu_Match");
}

void Base::ConnectStageHandlers() {
    const std::array<QLineEdit*, kStageFieldCount> fields{TxBplus, TxRa, TxRk, TxRl, TxRaa, TxBias};
    for (std::size_t i = 0; i < kStageFieldCount; ++i) {
        connect(fields[i], &QLineEdit::textChanged, this, [this, i] { StageField_Change(i); });
        connect(fields[i], &QLineEdit::editingFinished, this,
                [this, i] { StageField_Validate(i); });
    }
    connect(CkBypassed, &QCheckBox::stateChanged, this, [this] { Stage_Change(); });
    connect(CkPushPull, &QCheckBox::stateChanged, this, [this] { Stage_Change(); });
    connect(Mnu_MapGm, &QAction::triggered, this, [this] { Mnu_Map_Click(FieldQuantity::Gm); });
    connect(Mnu_MapRp, &QAction::triggered, this, [this] { Mnu_Map_Click(FieldQuantity::Rp); });
    connect(Mnu_MapMu, &QAction::triggered, this, [this] { Mnu_Map_Click(FieldQuantity::Mu); });
    connect(Mnu_Transfer, &QAction::triggered, this, [this] { Mnu_Transfer_Click(); });
    connect(Mnu_StageView, &QAction::triggered, this, [this] { Mnu_StageView_Click(); });
    connect(Mnu_Match, &QAction::triggered, this, [this] { Mnu_Match_Click(); });
}

// ---------------------------------------------------------------------------------
// The fields

namespace {

QLineEdit* FieldOf(const Base& w, std::size_t field) {
    const std::array<QLineEdit*, kStageFieldCount> fields{w.TxBplus, w.TxRa,  w.TxRk,
                                                          w.TxRl,    w.TxRaa, w.TxBias};
    return fields.at(field);
}

}  // namespace

// A usable text is in force at once; one that is not waits while the user types it, and a
// text the program put there that is not usable goes back to the value in force.
void Base::StageField_Change(std::size_t field) {
    QLineEdit* box = FieldOf(*this, field);
    const std::optional<std::optional<double>> value = StageValue(field, box->text());
    if (!value) {
        if (!box->isModified()) box->setText(stage_->text.at(field));
        return;
    }
    stage_->value.at(field) = *value;
    stage_->text.at(field) = box->text();
    Stage_Change();
}

void Base::StageField_Validate(std::size_t field) {
    QLineEdit* box = FieldOf(*this, field);
    if (StageValue(field, box->text())) return;
    Status(std::string(kStageRefusal[field]) + ": \"" + box->text().toStdString() + "\"");
    box->setText(stage_->text.at(field));
}

void Base::Stage_Change() {
    if (!state_.StartupDone || stageHeld_) return;
    if (RefreshStage()) RedrawPlot();
}

int Base::FirstTickedSlot() const {
    for (int k = 0; k < kSlotCount; ++k) {
        const auto i = static_cast<std::size_t>(k);
        const CurveFile& file = slots_[i].file;
        if (CkImport[i]->isChecked() && file.family && file.families && !file.families->empty())
            return k;
    }
    return -1;
}

bool Base::RefreshStage() {
    StagePanel& p = *stage_;
    const auto& v = p.value;
    const bool pair = CkPushPull->isChecked();
    std::string missing;
    if (pair && !(v[kBplus] && v[kRaa] && v[kBias]))
        missing = "Type B+, Raa and Bias for the pair.";
    if (!pair && !(v[kBplus] && v[kRa])) missing = "Type B+ and Ra.";
    const int slot = FirstTickedSlot();
    if (missing.empty() && slot < 0) missing = "Tick a family.";
    if (!missing.empty()) {
        const bool changed = p.computed || p.missing != missing;
        p.computed = false;
        p.missing = missing;
        if (changed) LabelStage->setText(QString::fromStdString(missing));
        return changed;
    }
    StageFields f;
    f.pushPull = pair;
    SingleEndedInput& s = f.single;
    s.bPlus = f.pair.bPlus = *v[kBplus];
    s.pdWatts = f.pair.pdWatts = std::max(0.0, TextNumber(TxPwr->text()));
    if (pair) {
        f.pair.raa = *v[kRaa];
        f.pair.gridBias = *v[kBias];
    } else {
        s.ra = *v[kRa];
        // Rk sets the bias when it is given; without it the fixed bias, or the grid at the
        // cathode's voltage.
        s.rk = v[kRk].value_or(0.0);
        if (!(s.rk > 0.0)) s.gridBias = v[kBias].value_or(0.0);
        s.rl = v[kRl].value_or(0.0);
        s.bypassed = CkBypassed->isChecked();
        s.vinPeak = std::clamp(TextNumber(TxVin->text()), 0.01, 1000.0);
    }
    const std::shared_ptr<const std::vector<Family>>& families =
        slots_[static_cast<std::size_t>(slot)].file.families;
    if (p.computed && p.families == families && SameFields(p.fields, f)) return false;
    p.computed = true;
    p.families = families;
    p.fields = f;
    p.report = ComputeStage(*families, {}, f);
    QString text;
    for (const std::string& line : DescribeStage(p.report, f))
        text += (text.isEmpty() ? "" : "\n") + QString::fromStdString(line);
    LabelStage->setText(text);
    return true;
}

const StageReport* Base::StageResult() const {
    return stage_->computed ? &stage_->report : nullptr;
}

void Base::DrawStage(PlotSurface& plot, const CookScene& scene) const {
    const StagePanel& p = *stage_;
    if (!scene.cookMode || !p.computed || p.report.pushPull) return;
    DrawStageOverlay(plot, p.report.single, p.fields.single,
                     CookAxes(scene.voltsPerDiv, scene.milliampsPerDiv));
}

DrawPicture Base::PlotDrawing() const {
    const CookScene scene = Scene();
    // The overlay's numbers as they stand now, not as they may stand when the picture is drawn.
    auto overlay = std::make_shared<const StagePanel>(*stage_);
    return [scene, overlay](PlotSurface& target) {
        DrawCookPlot(target, scene);
        if (scene.cookMode && overlay->computed && !overlay->report.pushPull)
            DrawStageOverlay(target, overlay->report.single, overlay->fields.single,
                             CookAxes(scene.voltsPerDiv, scene.milliampsPerDiv));
    };
}

// ---------------------------------------------------------------------------------
// The views

void Base::OpenView(const QString& title, const DrawPicture& draw) {
    auto* window = new QDialog(this);
    window->setObjectName("FrmView");
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setWindowTitle(title + " - Anodix");
    auto* view = new ViewBox(draw, window);
    view->setObjectName("ViewBox");
    view->setMinimumSize(320, 240);
    auto* exportButton = new QPushButton("Export ...", window);
    exportButton->setObjectName("BtViewExport");
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(exportButton);
    auto* layout = new QVBoxLayout(window);
    layout->addWidget(view, 1);
    layout->addLayout(buttons);
    connect(exportButton, &QPushButton::clicked, window, [this, view, draw] {
        if (services_.dialogs == nullptr) return;
        const std::string path =
            FileDialog(*services_.dialogs, ProgramDirectory(), "*.png", "Export view", "Save",
                       {{"SVG drawing (*.svg)", "*.svg"},
                        {"PDF document (*.pdf)", "*.pdf"},
                        {"PNG picture (*.png)", "*.png"}});
        if (!path.empty()) ExportViewPicture(QString::fromStdString(path), view->size(), draw);
    });
    window->resize(820, 640);
    window->show();
}

bool Base::ExportViewPicture(const QString& chosen, QSize size, const DrawPicture& draw) {
    const std::optional<QString> named = PicturePath(chosen);
    if (!named) return false;
    const QString& path = *named;
    QString error;
    if (ExportView(path, size.expandedTo(QSize(1, 1)), draw, &error)) return true;
    Message("Can't write " + path.toStdString() + ": " + error.toStdString(), "Anodix",
            MessageIcon::Critical);
    return false;
}

void Base::Mnu_Map_Click(FieldQuantity quantity) {
    const int slot = FirstTickedSlot();
    if (slot < 0) return Message("Tick a family to map.");
    const Family family = *slots_[static_cast<std::size_t>(slot)].file.family;
    const ViewAxes axes = AnodeAxes(family);
    // Worked out once here; the window only draws it.
    auto map = std::make_shared<const FieldMap>(
        MapField(family, quantity, axes.XMax(), axes.YMax() * 1e-3));
    auto levels = std::make_shared<const std::vector<double>>(ContourLevels(*map));
    OpenView(QString::fromStdString(std::string(FieldName(quantity)) + " of " + family.name),
             [family, map, levels](PlotSurface& s) { DrawFieldView(s, family, *map, *levels); });
}

void Base::Mnu_Transfer_Click() {
    const int slot = FirstTickedSlot();
    if (slot < 0) return Message("Tick a family for its transfer curves.");
    const Family& family = *slots_[static_cast<std::size_t>(slot)].file.family;
    auto curves = std::make_shared<const std::vector<TransferCurve>>(
        TransferCurves(family, DefaultTransferVolts(family)));
    const std::string name = family.name;
    OpenView(QString::fromStdString("Transfer curves of " + name),
             [name, curves](PlotSurface& s) { DrawTransferView(s, name, *curves); });
}

void Base::Mnu_StageView_Click() {
    RefreshStage();
    const StagePanel& p = *stage_;
    if (!p.computed) return Message("The Stage panel has no numbers yet: " + p.missing);
    auto panel = std::make_shared<const StagePanel>(p);
    if (p.fields.pushPull) {
        auto curves = std::make_shared<const std::vector<CompositeCurve>>(
            CompositeCurves(*p.families, *p.families, p.fields.pair));
        OpenView("Push-pull composite of " + QString::fromStdString(p.families->front().name),
                 [panel, curves](PlotSurface& s) {
                     DrawCompositeView(s, *curves, panel->report, panel->fields);
                 });
        return;
    }
    OpenView("Stage of " + QString::fromStdString(p.families->front().name),
             [panel](PlotSurface& s) {
                 DrawStageView(s, panel->families->front(), panel->report, panel->fields);
             });
}

void Base::Mnu_Match_Click() {
    std::vector<Family> tubes;
    for (int k = 0; k < kSlotCount; ++k) {
        const auto i = static_cast<std::size_t>(k);
        if (CkImport[i]->isChecked() && slots_[i].file.family)
            tubes.push_back(*slots_[i].file.family);
    }
    if (tubes.size() < 2) return Message("Tick two families or more to match.");
    // Along the plot's load line when one has been chosen; over the plane otherwise.
    MatchInput input;
    if (state_.LoadLineSet)
        input.load =
            MatchLoad{state_.LoadLineR * 1000.0, state_.LoadLineUa, state_.LoadLineIa / 1000.0};
    const MatchResult result = MatchTubes(tubes, input);
    std::string text;
    for (const std::string& line : DescribeMatch(result, input))
        text += (text.empty() ? "" : "\n") + line;
    if (!result.ok) return Message(text, "Match", MessageIcon::Critical);
    if (services_.dialogs != nullptr) {
        const std::string path =
            FileDialog(*services_.dialogs, ProgramDirectory(), "*.pdf", "Matching report", "Save",
                       {{"PDF document (*.pdf)", "*.pdf"}});
        std::string reason;
        if (!path.empty() && !WriteMatchReport(path, tubes, result, input, &reason))
            return Message("Can't write " + path + ": " + reason, "Anodix", MessageIcon::Critical);
    }
    Message(text, "Match");
}

}  // namespace anodix
