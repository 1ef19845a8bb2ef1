// Fitted models and the load line's numbers: the slots' context menu (fit the models and
// choose one, save its family as TDF, export it for ngspice or LTspice), the chosen
// models drawn over their families, and the panel with the gain, swings, output power
// and distortion for a grid swing (a model's with their spread from its parameters).
#include <QAction>
#include <QCheckBox>
#include <QGroupBox>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>

#include "app/base.h"
#include "curves/family.h"
#include "model/loadline.h"
#include "model/spice.h"
#include "plot/frame.h"
#include "tools/appdir.h"
#include "tools/dialogs.h"
#include "tools/fields.h"
#include "tools/numtext.h"
#include "tools/replacefile.h"

namespace anodix {

// The family the numbers read, with its currents, kept while it is the slot's family: the
// numbers follow the mouse and the arrow keys.
struct Base::LoadFamily {
    std::shared_ptr<const Family> family;
    FamilyCurrents currents;
    explicit LoadFamily(std::shared_ptr<const Family> f)
        : family(std::move(f)), currents(*family) {}
};

namespace {

constexpr float kVinLowest = 0.01f;
constexpr float kVinHighest = 1000.0f;

std::string BaseName(const QString& path) { return GetFileName(path.toStdString()); }

}  // namespace

void Base::BuildModelControls(QWidget* client) {
    FrmLoad = new QGroupBox("Load line", client);
    FrmLoad->setObjectName("FrmLoad");
    FrmLoad->setGeometry(8, 470, 137, 176);
    const auto label = [this](const char* name, int x, int y, int w) {
        auto* l = new QLabel(FrmLoad);
        l->setObjectName(name);
        l->setGeometry(x, y, w, 16);
        return l;
    };
    LabelVin = label("LabelVin", 6, 19, 26);
    LabelVin->setText("Vin");
    TxVin = new QLineEdit("1", FrmLoad);
    TxVin->setObjectName("TxVin");
    TxVin->setGeometry(32, 17, 40, 20);
    TxVin->setToolTip("Peak grid swing in volts");
    CkModel = new QCheckBox("model", FrmLoad);
    CkModel->setObjectName("CkModel");
    CkModel->setGeometry(76, 17, 58, 20);
    CkModel->setToolTip("The numbers from the fitted model instead of the curves");
    CkModel->setEnabled(false);
    LabelVg0 = label("LabelVg0", 6, 42, 64);
    LabelGain = label("LabelGain", 70, 42, 64);
    LabelUp = label("LabelUp", 6, 58, 64);
    LabelDown = label("LabelDown", 70, 58, 64);
    LabelPout = label("LabelPout", 6, 74, 128);
    LabelHd2 = label("LabelHd2", 6, 90, 64);
    LabelHd3 = label("LabelHd3", 70, 90, 64);
    LabelThd = label("LabelThd", 6, 106, 128);
    LabelLoadNote = label("LabelLoadNote", 6, 42, 128);
    LabelLoadNote->setWordWrap(true);
    LabelLoadNote->resize(128, 40);
    // Under the numbers of a load line that a redraw has taken off the plot.
    LabelLoadLast = label("LabelLoadLast", 6, 124, 128);
    LabelLoadLast->setWordWrap(true);
    LabelLoadLast->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    LabelLoadLast->resize(128, 48);
    LabelLoadLast->setText("The last load line's numbers, not drawn: type Rload or Shift+click.");
    LabelLoadLast->hide();

    for (int k = 0; k < kSlotCount; ++k) {
        auto* menu = new QMenu(this);
        menu->setObjectName(QString("MnuSlot_%1").arg(k));
        connect(menu->addAction("Fit model..."), &QAction::triggered, this,
                [this, k] { FitSlotModel(k); });
        connect(menu->addAction("Save model as TDF..."), &QAction::triggered, this,
                [this, k] { SaveSlotModel(k); });
        connect(menu->addAction("Export SPICE..."), &QAction::triggered, this,
                [this, k] { ExportSlotSpice(k); });
        connect(menu->addAction("Export SPICE for LTspice..."), &QAction::triggered, this,
                [this, k] { ExportSlotSpice(k, SpiceDialect::LTspice); });
        MnuSlot[static_cast<std::size_t>(k)] = menu;
    }
}

void Base::ConnectModelHandlers() {
    connect(CkModel, &QCheckBox::stateChanged, this, [this] { CkModel_Click(); });
    connect(Mnu_ShowModels, &QAction::triggered, this, [this] { Mnu_ShowModels_Click(); });
    TxVin->installEventFilter(this);
    for (int k = 0; k < kSlotCount; ++k) {
        QCheckBox* ck = CkImport[static_cast<std::size_t>(k)];
        ck->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(ck, &QWidget::customContextMenuRequested, this, [this, k, ck](const QPoint& at) {
            QMenu* menu = MnuSlot[static_cast<std::size_t>(k)];
            const bool fitted = SlotFit(k) != nullptr;
            const QList<QAction*> actions = menu->actions();
            actions[0]->setEnabled(!SlotPath(k).isEmpty());
            actions[1]->setEnabled(fitted);
            actions[2]->setEnabled(fitted);
            actions[3]->setEnabled(fitted);
            menu->popup(ck->mapToGlobal(at));
        });
    }
}

const ModelFit* Base::SlotFit(int index) const {
    const std::optional<ModelFit>& fit = slotFits_.at(static_cast<std::size_t>(index));
    return fit ? &*fit : nullptr;
}

void Base::FitSlotModel(int index) {
    const auto k = static_cast<std::size_t>(index);
    const QString path = SlotPath(index);
    if (path.isEmpty()) {
        Message("The slot holds no family to fit.");
        return;
    }
    const std::string name = BaseName(path);
    // The families as the file holds them now; a tracer's file of several screen voltages
    // is fitted at all of them together, as anodix-fit does.
    RefreshSlot(k);
    const CurveFile& file = slots_[k].file;
    if (!file.ok) {
        Message(
            "Can't read " + path.toStdString() + (file.reason.empty() ? "" : ": " + file.reason),
            "Fit model", MessageIcon::Critical);
        return;
    }
    std::vector<Family> families;  // copies: the dialogs below may run a redraw
    for (const Family& f : *file.families)
        if (!f.curves.empty() && f.curves.front().grid2) families.push_back(f);
    if (families.empty()) families.push_back(*file.family);
    const Family& family = families.front();
    // A tracer's file says the screen voltage of a pentode's curves; TDF does not.
    const bool saysScreen = !family.curves.empty() && family.curves.front().grid2.has_value();
    std::optional<double> screenVolts;
    if (!saysScreen) {
        std::optional<FitRequest> request;
        if (askModelKind) {
            request = askModelKind(QString::fromStdString(name));
        } else {
            bool ok = false;
            const QString kind = QInputDialog::getItem(
                this, "Fit model", QString::fromStdString("Models of " + name),
                {"Triode", "Pentode or beam tetrode"}, 0, false, &ok);
            if (!ok) return;
            request = FitRequest{};
            if (kind != "Triode") {
                const QString vg2 = QInputDialog::getText(
                    this, "Fit model", "Screen voltage Vg2 (V)", QLineEdit::Normal, "250", &ok);
                if (!ok) return;
                request = FitRequest{true, WholeNumber(vg2.toStdString()).value_or(0.0)};
            }
        }
        if (!request) return;
        if (request->pentode) {
            if (!(request->screenVolts > 0.0 && request->screenVolts <= 1e5)) {
                Message("The screen voltage must be a positive number of volts.", "Fit model",
                        MessageIcon::Critical);
                return;
            }
            screenVolts = request->screenVolts;
        }
    }
    const std::vector<ModelFit> fits = FitModels(FitInputOf(families, screenVolts));
    const int best = BestFit(fits);
    if (best < 0) {
        Message(DescribeFits(fits, -1, name), "Fit model", MessageIcon::Critical);
        return;
    }
    QStringList listing;
    for (const ModelFit& f : fits) {
        std::string line = f.model.Spec().title;
        line += f.ok ? ": " + Format(1000.0 * f.rmsAmperes, "0.0000") + " mA RMS, " +
                           Format(1000.0 * f.maxAmperes, "0.0000") + " mA largest"
                     : ": no fit (" + f.reason + ")";
        listing << QString::fromStdString(line);
    }
    std::optional<int> chosen;
    if (askModelChoice) {
        chosen = askModelChoice(listing, best);
    } else {
        bool ok = false;
        const QString pick =
            QInputDialog::getItem(this, "Fit model", QString::fromStdString("Models of " + name),
                                  listing, best, false, &ok);
        if (ok) chosen = static_cast<int>(listing.indexOf(pick));
    }
    if (!chosen || *chosen < 0 || *chosen >= static_cast<int>(fits.size())) return;
    const ModelFit& fit = fits[static_cast<std::size_t>(*chosen)];
    if (!fit.ok) {
        Message(DescribeFit(fit, name), "Fit model", MessageIcon::Critical);
        return;
    }
    slotFits_[k] = fit;
    slotModels_[k] = std::make_shared<const Family>(ModelFamily(fit.model, family));
    Message(DescribeFits(fits, *chosen, name), "Fit model");
    // The chosen model is drawn over its family.
    Mnu_ShowModels->setChecked(true);
    RedrawPlot();
    ShowLoadLineNumbers();
}

void Base::SaveSlotModel(int index) {
    const auto k = static_cast<std::size_t>(index);
    if (!slotModels_[k] || services_.dialogs == nullptr) {
        if (!slotModels_[k]) Message("Fit a model to the slot's family first.");
        return;
    }
    const std::string path =
        FileDialog(*services_.dialogs, ProgramDirectory(), "*.tdf", "Save model as TDF", "Save");
    if (path.empty()) return;
    std::string reason;
    if (!ReplaceFile(path, TdfText(*slotModels_[k]), &reason))
        Message("Can't write " + path + ": " + reason, "Anodix", MessageIcon::Critical);
}

void Base::ExportSlotSpice(int index, SpiceDialect dialect) {
    const ModelFit* fit = SlotFit(index);
    if (fit == nullptr || services_.dialogs == nullptr) {
        if (fit == nullptr) Message("Fit a model to the slot's family first.");
        return;
    }
    const std::string path =
        FileDialog(*services_.dialogs, ProgramDirectory(), "*.inc", "Export SPICE model", "Save");
    if (path.empty()) return;
    std::string reason;
    const std::string name = BaseName(SlotPath(index));
    if (!ReplaceFile(path, SpiceSubcircuit(*fit, name, {dialect, PublishedCapacitances(name)}),
                     &reason))
        Message("Can't write " + path + ": " + reason, "Anodix", MessageIcon::Critical);
}

void Base::TxVin_Change() {
    // Each rewrite runs this handler again, nested, before this one goes on.
    if (static_cast<float>(TextNumber(TxVin->text())) < kVinLowest) TxVin->setText("0.01");
    if (static_cast<float>(TextNumber(TxVin->text())) > kVinHighest) TxVin->setText("1000");
    // The stage's swing follows the same Vin.
    if (state_.StartupDone && !stageHeld_ && RefreshStage()) RedrawPlot();
    ShowLoadLineNumbers();
}

void Base::CkModel_Click() { ShowLoadLineNumbers(); }

void Base::Mnu_ShowModels_Click() { RedrawPlot(); }

void Base::ShowLoadLineNumbers() {
    const std::initializer_list<QLabel*> numbers{LabelVg0,  LabelGain, LabelUp,  LabelDown,
                                                 LabelPout, LabelHd2,  LabelHd3, LabelThd};
    // The note takes the place of the numbers.
    const auto note = [this, numbers](const char* text) {
        for (QLabel* l : numbers) {
            l->clear();
            l->hide();
        }
        LabelLoadNote->setText(text);
        LabelLoadNote->show();
        LabelLoadLast->hide();
    };
    const WindowState& s = state_;
    int slot = -1;
    for (int k = 0; k < kSlotCount && slot < 0; ++k)
        if (CkImport[static_cast<std::size_t>(k)]->isChecked() && !SlotPath(k).isEmpty()) slot = k;
    const ModelFit* fit = slot >= 0 ? SlotFit(slot) : nullptr;
    CkModel->setEnabled(fit != nullptr);
    if (!s.StartupDone || s.UnitsPerVolt <= 0.0f || s.UnitsPerMilliamp <= 0.0f) return note("");
    if (slot < 0) return note("Tick a family.");
    if (!s.LoadLineSet) return note("Shift+click an operating point.");

    const bool fromModel = fit != nullptr && CkModel->isChecked();
    if (!fromModel) {
        const std::shared_ptr<const Family>& family = SlotFile(slot).family;
        if (!family) return note("The family's file cannot be read.");
        if (!loadFamily_ || loadFamily_->family != family)
            loadFamily_ = std::make_shared<LoadFamily>(family);
    }
    LoadLineInput in;
    in.va0 = s.LoadLineUa;
    in.ia0 = s.LoadLineIa / 1000.0;
    in.rLoad = s.LoadLineR * 1000.0;
    in.vinPeak = TextNumber(TxVin->text());
    // A pentode's model at the screen voltage of its family.
    const double screenVolts =
        fit != nullptr
            ? (fit->model.screenVolts > 0.0 ? fit->model.screenVolts : fit->input.vg2High)
            : 0.0;
    const LoadLineNumbers n = fromModel
                                  ? AnalyseLoadLine(FittedCurrents(fit->model, screenVolts), in)
                                  : AnalyseLoadLine(loadFamily_->currents, in);
    if (!n.ok) return note(n.reason.c_str());
    // The model's numbers with their spread from the parameters' standard errors.
    std::optional<LoadLineSpread> spread;
    if (fromModel) spread = SpreadOfLoadLine(*fit, screenVolts, in);
    const auto pm = [&spread](double v, const char* pattern) {
        return spread ? " +-" + Format(v, pattern) : std::string();
    };
    LabelLoadNote->hide();
    for (QLabel* l : numbers) l->show();
    // A redraw has taken the point and its line off the plot: the numbers are the last ones.
    LabelLoadLast->setVisible(s.OriginY == kPlotUnits);
    LabelVg0->setText(QString::fromStdString("Vg0 " + Format(n.vg0, "0.00") + " V"));
    LabelGain->setText(QString::fromStdString("Gain " + Format(n.gain, "0.0") +
                                              pm(spread ? spread->gain : 0.0, "0.0")));
    LabelUp->setText("+" + QString::fromStdString(Format(n.swingUp, "0.0")) + " V");
    LabelDown->setText("-" + QString::fromStdString(Format(n.swingDown, "0.0")) + " V");
    LabelPout->setText(QString::fromStdString("Pout " + Format(1000.0 * n.watts, "0.00") +
                                              pm(spread ? 1000.0 * spread->watts : 0.0, "0.00") +
                                              " mW"));
    LabelHd2->setText(QString::fromStdString("HD2 " + Format(n.hd2, "0.00") + " %"));
    LabelHd3->setText(QString::fromStdString("HD3 " + Format(n.hd3, "0.00") + " %"));
    LabelThd->setText(QString::fromStdString("THD " + Format(n.thd, "0.00") +
                                             pm(spread ? spread->thd : 0.0, "0.00") + " %"));
}

}  // namespace anodix
