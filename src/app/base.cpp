// The main window: its controls and menus, start-up with its defaults, the layout
// applied on every resize, the two modes, closing, and the nested waits of long
// operations.
#include "app/base.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDockWidget>
#include <QEventLoop>
#include <QFileInfo>
#include <QFocusEvent>
#include <QFrame>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <algorithm>

#include "curves/examples.h"
#include "app/scope.h"
#include "config/configuration.h"
#include "tools/appdir.h"
#include "tools/fields.h"
#include "tools/numtext.h"

namespace anodix {

namespace {

// The example family of the first start, and the hint shown with it.
const char kFirstFamily[] = "12AU7.tdf";
const char kFirstHint[] =
    "Shift+click on the plot: operating point and load line. Right-click the next curve: Gm.";

// Client area left free beside and below the plot.
constexpr int kPlotMarginWidth = 160;
constexpr int kPlotMarginHeight = 20;

// Design size of the client area, in pixels.
constexpr int kClientWidth = 789;
constexpr int kClientHeight = 656;

QColor ToQColor(Rgb c) { return QColor((c >> 16) & 255, (c >> 8) & 255, c & 255); }

void SetTextColour(QWidget* w, const QColor& c) {
    QPalette p = w->palette();
    p.setColor(QPalette::WindowText, c);
    p.setColor(QPalette::ButtonText, c);
    p.setColor(QPalette::Text, c);
    w->setPalette(p);
}

}  // namespace

Base::Base(Services services, QWidget* parent) : QMainWindow(parent), services_(services) {
    setWindowTitle("Anodix");
    BuildControls();
    BuildMenus();
    ConnectHandlers();
    statusBar()->setObjectName("StatusBar");
    // The Stage panel's column comes beside the client area, which keeps its design size.
    const int column =
        DockStage->sizeHint().width() + style()->pixelMetric(QStyle::PM_DockWidgetSeparatorExtent);
    resize(kClientWidth + column,
           kClientHeight + menuBar()->sizeHint().height() + statusBar()->sizeHint().height());
}

Base::~Base() {
    closing_ = true;
    for (QEventLoop* loop : waitLoops_) loop->quit();
    // The controls are destroyed after this body; what they signal on the way out (a
    // lost focus, a cleared list) must not reach handlers of a window that is gone.
    for (QObject* child : findChildren<QObject*>()) {
        child->disconnect(this);
        child->removeEventFilter(this);
    }
}

PlotSurface& Base::Plot() {
    if (plotOverride_) return *plotOverride_;
    return ScopeBox->surface();
}

void Base::SetPlotSurfaceForTesting(PlotSurface* surface) { plotOverride_ = surface; }

double Base::TextNumber(const QString& text) { return LeadingNumber(text.toStdString()); }

// ---------------------------------------------------------------------------------
// Controls

namespace {

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, int x, int y, int w,
                  int h = 18) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(name);
    l->setGeometry(x, y, w, h);
    return l;
}

QLineEdit* MakeField(QWidget* parent, const char* name, const QString& text, int x, int y, int w,
                     int h = 20) {
    auto* e = new QLineEdit(text, parent);
    e->setObjectName(name);
    e->setGeometry(x, y, w, h);
    return e;
}

QGroupBox* MakeFrame(QWidget* parent, const char* name, const QString& title, int x, int y, int w,
                     int h) {
    auto* g = new QGroupBox(title, parent);
    g->setObjectName(name);
    g->setGeometry(x, y, w, h);
    return g;
}

QComboBox* MakeScaleList(QWidget* parent, const char* name, int x, int y, int w) {
    auto* c = new QComboBox(parent);
    c->setObjectName(name);
    c->setEditable(true);
    // A typed value is taken as it is; it never joins the list.
    c->setInsertPolicy(QComboBox::NoInsert);
    c->setGeometry(x, y, w, 22);
    return c;
}

}  // namespace

void Base::BuildControls() {
    auto* client = new QWidget(this);
    client->setObjectName("Client");
    // At least a pixel wide: a window narrower than the Stage column still lays the client out.
    client->setMinimumSize(1, 1);
    setCentralWidget(client);

    // The program's own small bold-free dialog font, close to the classic 8-point one.
    QFont f = font();
    f.setPointSizeF(8.25);
    setFont(f);

    Shape = new QFrame(client);
    Shape->setObjectName("Shape");
    Shape->setFrameShape(QFrame::NoFrame);
    Shape->setGeometry(0, 0, 8, 8);

    // ---- Display frame: the two scales and the dissipation limit ----
    Stuff = MakeFrame(client, "Stuff", "Display", 8, 8, 136, 94);
    const QColor green(0, 128, 0);
    Label1[1] = MakeLabel(Stuff, "Label1_1", "V/div", 8, 24, 52);
    CbVdiv = MakeScaleList(Stuff, "CbVdiv", 62, 22, 66);
    Label1[0] = MakeLabel(Stuff, "Label1_0", "mA/div", 8, 47, 52);
    CbMaDiv = MakeScaleList(Stuff, "CbMaDiv", 62, 45, 66);
    Label1[2] = MakeLabel(Stuff, "Label1_2", "Pd(W)", 8, 70, 52);
    TxPwr = MakeField(Stuff, "TxPwr", "1", 62, 69, 66);
    SetTextColour(Label1[1], green);
    SetTextColour(Label1[0], green);
    SetTextColour(Label1[2], QColor(255, 0, 0));

    // ---- The plot ----
    ScopeBox = new Scope(client);
    ScopeBox->setObjectName("Scope");
    // A click on the plot takes the focus first, so a scale list left behind validates
    // (and redraws) before the click acts, not after it has drawn its overlay.
    ScopeBox->setFocusPolicy(Qt::ClickFocus);
    ScopeBox->setGeometry(152, 8, kClientWidth - kPlotMarginWidth,
                          kClientHeight - kPlotMarginHeight);

    // ---- Cook frame: import slots, readout, operating point, small-signal values ----
    FrmCook = MakeFrame(client, "FrmCook", "Cooking", 8, 112, 137, 353);
    Label6 = MakeLabel(FrmCook, "Label6", "Import", 8, 20, 120);
    for (int k = 0; k < kSlotCount; ++k) {
        const int y = 38 + k * 22;
        auto* ck = new QCheckBox("Import         ->", FrmCook);
        ck->setObjectName(QString("CkImport_%1").arg(k));
        // Wide enough for the caption's arrow to reach the button in full.
        ck->setGeometry(6, y, 103, 20);
        SetTextColour(ck, ToQColor(kSlotColours[static_cast<std::size_t>(k)]));
        CkImport[static_cast<std::size_t>(k)] = ck;
        auto* bt = new QPushButton("...", FrmCook);
        bt->setObjectName(QString("BtCkBrowse_%1").arg(k));
        bt->setGeometry(109, y, 23, 20);
        BtCkBrowse[static_cast<std::size_t>(k)] = bt;
    }

    FrameAbs = MakeFrame(FrmCook, "FrameAbs", "Abs.", 6, 150, 52, 56);
    Axpos = MakeLabel(FrameAbs, "Axpos", "0.0", 4, 16, 46);
    Aypos = MakeLabel(FrameAbs, "Aypos", "0.0", 4, 34, 46);
    Label9 = MakeLabel(FrameAbs, "Label9", "", 0, 0, 0, 0);
    Label9->hide();
    FrameRel = MakeFrame(FrmCook, "FrameRel", "Rel.", 60, 150, 52, 56);
    Xpos = MakeLabel(FrameRel, "Xpos", "", 4, 16, 46);
    Ypos = MakeLabel(FrameRel, "Ypos", "", 4, 34, 46);
    for (QLabel* l : {Axpos, Aypos, Xpos, Ypos}) l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Label7 = MakeLabel(FrmCook, "Label7", "V", 115, 166, 20);
    Label8 = MakeLabel(FrmCook, "Label8", "mA", 115, 184, 20);

    Label1[6] = MakeLabel(FrmCook, "Label1_6", "Ua0", 8, 214, 36);
    TxUa0 = MakeField(FrmCook, "TxUa0", "10", 46, 213, 62);
    Label1[8] = MakeLabel(FrmCook, "Label1_8", "V", 112, 214, 22);
    Label1[5] = MakeLabel(FrmCook, "Label1_5", "Ia0", 8, 238, 36);
    TxIa0 = MakeField(FrmCook, "TxIa0", "10", 46, 237, 62);
    Label1[7] = MakeLabel(FrmCook, "Label1_7", "mA", 112, 238, 22);
    Label1[3] = MakeLabel(FrmCook, "Label1_3", "Rload", 8, 262, 36);
    RLoad = MakeField(FrmCook, "RLoad", "10", 46, 261, 62);
    Label1[4] = MakeLabel(FrmCook, "Label1_4", "K", 112, 262, 22);

    Label10 = MakeLabel(FrmCook, "Label10", "Gm", 8, 288, 36);
    Gm = MakeLabel(FrmCook, "Gm", "", 46, 288, 84);
    Label2 = MakeLabel(FrmCook, "Label2", "Rp", 8, 307, 36);
    Req = MakeLabel(FrmCook, "Req", "", 46, 307, 84);
    Label3 = MakeLabel(FrmCook, "Label3", "Mu", 8, 326, 36);
    Mu = MakeLabel(FrmCook, "Mu", "?", 46, 326, 84);
    Gm->hide();
    Req->hide();
    Mu->hide();

    // ---- Capture frame: grid voltages, volume, capture run, calibration ----
    FrmCapture = MakeFrame(client, "FrmCapture", "Data", 8, 248, 137, 388);
    Label4 = MakeLabel(FrmCapture, "Label4", "-Ug1 max", 8, 22, 62);
    TxVg1 = MakeField(FrmCapture, "TxVg1", "50", 72, 21, 58);
    Label5 = MakeLabel(FrmCapture, "Label5", "Ug2 max", 8, 48, 62);
    TxVg2 = MakeField(FrmCapture, "TxVg2", "0", 72, 47, 58);
    Test = MakeField(FrmCapture, "Test", "Text1", 8, 76, 78);
    Test->setReadOnly(true);
    Tvol = MakeField(FrmCapture, "Tvol", "0", 90, 76, 40);
    DevicesBox = new QComboBox(FrmCapture);
    DevicesBox->setObjectName("DevicesBox");
    DevicesBox->setGeometry(8, 104, 122, 22);
    DevicesBox->hide();
    StartButton = new QPushButton("Capture", FrmCapture);
    StartButton->setObjectName("StartButton");
    StartButton->setGeometry(8, 134, 122, 28);
    CkCaptured = new QCheckBox("", FrmCapture);
    CkCaptured->setObjectName("CkCaptured");
    CkCaptured->setGeometry(8, 172, 20, 24);
    BtCalib = new QPushButton("Calibration", FrmCapture);
    BtCalib->setObjectName("BtCalib");
    BtCalib->setGeometry(30, 172, 100, 24);
    BtExport = new QPushButton("Export", FrmCapture);
    BtExport->setObjectName("BtExport");
    BtExport->setGeometry(8, 206, 122, 24);
    BtExport->setEnabled(false);
    CbCapturedRow = new QComboBox(FrmCapture);
    CbCapturedRow->setObjectName("CbCapturedRow");
    CbCapturedRow->setGeometry(8, 236, 122, 22);
    CbCapturedRow->setToolTip("Grid-2 row of the captured family");
    // The volts and milliamperes a full-scale count stands for.
    TxCalV = MakeField(FrmCapture, "TxCalV", "", 8, 265, 44);
    Label11 = MakeLabel(FrmCapture, "Label11", "V", 54, 266, 14);
    TxCalMa = MakeField(FrmCapture, "TxCalMa", "", 70, 265, 40);
    Label12 = MakeLabel(FrmCapture, "Label12", "mA", 112, 266, 22);
    TxCalV->setToolTip("Volts at full scale of the voltage channel");
    TxCalMa->setToolTip("Milliamperes at full scale of the current channel");
    // The calibration's two readings: a meter's peak anode voltage and the resistor's ohms.
    TxCalPeak = MakeField(FrmCapture, "TxCalPeak", "", 8, 291, 44);
    Label13 = MakeLabel(FrmCapture, "Label13", "Vpk", 54, 292, 16);
    TxCalLoad = MakeField(FrmCapture, "TxCalLoad", "", 70, 291, 40);
    Label14 = MakeLabel(FrmCapture, "Label14", QString::fromUtf8("\u03a9"), 112, 292, 22);
    TxCalPeak->setToolTip("Calibration: the peak anode voltage a meter reads");
    TxCalLoad->setToolTip("Calibration: the resistor in place of the tube, ohms");
    LabelCapture = MakeLabel(FrmCapture, "LabelCapture", "", 8, 318, 122, 64);
    LabelCapture->setWordWrap(true);
    LabelCapture->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    FrmCapture->hide();

    BuildModelControls(client);
    BuildStageControls();
}

void Base::BuildMenus() {
    Mnu_Mode = menuBar()->addMenu("Mode");
    Mnu_Mode->setObjectName("Mnu_Mode");
    Mnu_Capture = Mnu_Mode->addAction("Capture");
    Mnu_Capture->setObjectName("Mnu_Capture");
    Mnu_Capture->setShortcut(QKeySequence(Qt::Key_F1));
    Mnu_Cook = Mnu_Mode->addAction("Cook");
    Mnu_Cook->setObjectName("Mnu_Cook");
    Mnu_Cook->setShortcut(QKeySequence(Qt::Key_F2));
    MnuConvertion = Mnu_Mode->addAction("Data Convertion ...");
    MnuConvertion->setObjectName("MnuConvertion");
    MnuConvertion->setShortcut(QKeySequence(Qt::Key_F12));

    Mnu_preferences = menuBar()->addMenu("Configuration");
    Mnu_preferences->setObjectName("Mnu_preferences");
    Mnu_Import_Pref = Mnu_preferences->addAction("Recall");
    Mnu_Import_Pref->setObjectName("Mnu_Import_Pref");
    Mnu_Import_Pref->setShortcut(QKeySequence(Qt::Key_F3));
    Mnu_Export_Pref = Mnu_preferences->addAction("Save");
    Mnu_Export_Pref->setObjectName("Mnu_Export_Pref");
    Mnu_Export_Pref->setShortcut(QKeySequence(Qt::Key_F4));

    Mnu_Plot = menuBar()->addMenu("Plot");
    Mnu_Plot->setObjectName("Mnu_Plot");
    Mnu_ExportPicture = Mnu_Plot->addAction("Export picture ...");
    Mnu_ExportPicture->setObjectName("Mnu_ExportPicture");
    Mnu_ExportPicture->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
    Mnu_Print = Mnu_Plot->addAction("Print ...");
    Mnu_Print->setObjectName("Mnu_Print");
    Mnu_Print->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
    Mnu_ShowModels = Mnu_Plot->addAction("Show fitted models");
    Mnu_ShowModels->setObjectName("Mnu_ShowModels");
    Mnu_ShowModels->setCheckable(true);
    Mnu_FitFamilies = Mnu_Plot->addAction("Fit to families");
    Mnu_FitFamilies->setObjectName("Mnu_FitFamilies");
    Mnu_FitFamilies->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
    BuildStageMenus();

    Mnu_Help = menuBar()->addMenu("Help");
    Mnu_Help->setObjectName("Mnu_Help");
    Mnu_Manual = Mnu_Help->addAction("Manual");
    Mnu_Manual->setObjectName("Mnu_Manual");
    Mnu_About = Mnu_Help->addAction("About Anodix");
    Mnu_About->setObjectName("Mnu_About");

    // The shortcuts work wherever the focus is inside the window.
    for (QAction* a : {Mnu_Capture, Mnu_Cook, MnuConvertion, Mnu_Import_Pref, Mnu_Export_Pref,
                       Mnu_ExportPicture, Mnu_Print, Mnu_FitFamilies}) {
        a->setShortcutContext(Qt::WindowShortcut);
        addAction(a);
    }
}

void Base::ConnectHandlers() {
    connect(Mnu_Capture, &QAction::triggered, this, [this] { Mnu_Capture_Click(); });
    connect(Mnu_Cook, &QAction::triggered, this, [this] { Mnu_Cook_Click(); });
    connect(MnuConvertion, &QAction::triggered, this, [this] { MnuConvertion_Click(); });
    connect(Mnu_Import_Pref, &QAction::triggered, this, [this] { Mnu_Import_Pref_Click(); });
    connect(Mnu_Export_Pref, &QAction::triggered, this, [this] { Mnu_Export_Pref_Click(); });
    connect(Mnu_ExportPicture, &QAction::triggered, this, [this] { Mnu_ExportPicture_Click(); });
    connect(Mnu_Print, &QAction::triggered, this, [this] { Mnu_Print_Click(); });
    connect(Mnu_FitFamilies, &QAction::triggered, this, [this] { Mnu_FitFamilies_Click(); });
    connect(Mnu_Manual, &QAction::triggered, this, [this] { Mnu_Manual_Click(); });
    connect(Mnu_About, &QAction::triggered, this, [this] { Mnu_About_Click(); });

    ConnectTypedField(
        RLoad, [this] { RLoad_Change(); }, [](float v) { return v >= 0.01f && v <= 100000.0f; });
    ConnectTypedField(
        TxPwr, [this] { TxPwr_Change(); }, [](float v) { return v >= 0.0f && v <= 100.0f; });
    ConnectTypedField(
        TxVg1, [this] { TxVg1_Change(); },
        [this](float v) { return v >= 0.0f && v <= static_cast<float>(state_.Vg1FullScale); });
    ConnectTypedField(
        TxVg2, [this] { TxVg2_Change(); },
        [this](float v) { return v >= 0.0f && v <= static_cast<float>(state_.Vg2FullScale); });
    ConnectTypedField(
        TxVin, [this] { TxVin_Change(); }, [](float v) { return v >= 0.01f && v <= 1000.0f; });
    connect(Tvol, &QLineEdit::textChanged, this, [this] { Tvol_Change(); });

    connect(CbVdiv, &QComboBox::activated, this, [this] {
        if (!listLosingFocus_) CbVdiv_Click();
    });
    connect(CbMaDiv, &QComboBox::activated, this, [this] {
        if (!listLosingFocus_) CbMaDiv_Click();
    });
    connect(DevicesBox, &QComboBox::activated, this, [this] { DevicesBox_Click(); });
    connect(TxUa0, &QLineEdit::returnPressed, this, [this] { TxUa0_KeyPress(kKeyEnter); });
    connect(TxIa0, &QLineEdit::returnPressed, this, [this] { TxIa0_KeyPress(kKeyEnter); });

    for (int k = 0; k < kSlotCount; ++k) {
        const auto i = static_cast<std::size_t>(k);
        connect(CkImport[i], &QCheckBox::stateChanged, this, [this, k] { CkImport_Click(k); });
        connect(BtCkBrowse[i], &QPushButton::clicked, this, [this, k] { BtCkBrowse_Click(k); });
        BtCkBrowse[i]->installEventFilter(this);
    }
    connect(CkCaptured, &QCheckBox::stateChanged, this, [this] { CkCaptured_Click(); });
    connect(StartButton, &QPushButton::clicked, this, [this] { StartButton_Click(); });
    connect(BtCalib, &QPushButton::clicked, this, [this] { BtCalib_Click(); });
    connect(BtExport, &QPushButton::clicked, this, [this] { BtExport_Click(); });
    connect(CbCapturedRow, &QComboBox::activated, this, [this] { CbCapturedRow_Click(); });
    connect(TxCalV, &QLineEdit::textChanged, this, [this] { TxCalV_Change(); });
    connect(TxCalMa, &QLineEdit::textChanged, this, [this] { TxCalMa_Change(); });

    connect(ScopeBox, &Scope::MouseDown, this, [this](int button, int shift, float x, float y) {
        Scope_MouseDown(button, shift, x, y);
    });
    connect(ScopeBox, &Scope::MouseMove, this, [this](int button, int shift, float x, float y) {
        Scope_MouseMove(button, shift, x, y);
    });
    connect(ScopeBox, &Scope::MouseWheel, this,
            [this](int steps, int shift) { Scope_MouseWheel(steps, shift); });

    for (QWidget* w : {static_cast<QWidget*>(TxPwr), static_cast<QWidget*>(RLoad),
                       static_cast<QWidget*>(TxVg1), static_cast<QWidget*>(TxVg2)})
        w->installEventFilter(this);
    CbVdiv->installEventFilter(this);
    CbMaDiv->installEventFilter(this);
    // The layout follows the client area, which the window's size and the Stage column give.
    centralWidget()->installEventFilter(this);
    ConnectModelHandlers();
    ConnectStageHandlers();
}

// While the user types, the text stands as typed: a change is handled only when the text
// is a usable value (one the handler would not rewrite), so the last usable value stays in
// force meanwhile. Enter or leaving the field handles what stands, rewriting a text that
// is not usable as the handler does. Changes made by the program are handled at once.
void Base::ConnectTypedField(QLineEdit* field, const std::function<void()>& handle,
                             const std::function<bool(float)>& usable) {
    const auto typedUsable = [field, usable] {
        const std::string text = field->text().toStdString();
        return BeginsWithNumber(text) && usable(static_cast<float>(LeadingNumber(text)));
    };
    connect(field, &QLineEdit::textChanged, this, [field, handle, typedUsable] {
        if (!field->isModified() || typedUsable()) handle();
    });
    connect(field, &QLineEdit::editingFinished, this, [field, handle, typedUsable] {
        if (field->isModified() && !typedUsable()) handle();
    });
}

bool Base::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();

    if (type == QEvent::Resize && watched == centralWidget()) {
        Form_Resize();
        return false;
    }
    if (type == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        // Arrow keys step the numeric fields; the key goes no further.
        int code = 0;
        if (key->key() == Qt::Key_Up) code = kKeyUp;
        if (key->key() == Qt::Key_Down) code = kKeyDown;
        if (code != 0) {
            const int shift = Scope::ShiftNumber(key->modifiers());
            if (watched == TxPwr) {
                TxPwr_KeyDown(code, shift);
                return true;
            }
            if (watched == RLoad) {
                RLoad_KeyDown(code, shift);
                return true;
            }
            if (watched == TxVg1) {
                TxVg1_KeyDown(code, shift);
                return true;
            }
            if (watched == TxVg2) {
                TxVg2_KeyDown(code, shift);
                return true;
            }
            if (watched == TxVin) {
                TxVin_KeyDown(code, shift);
                return true;
            }
        }
        // Enter in a scale list redraws. The list itself does nothing more with it: Enter
        // is not a pick from the list, so it must not also count as a click.
        if (watched == CbVdiv || watched == CbMaDiv) {
            const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
            const int ascii =
                enter ? kKeyEnter : (key->text().isEmpty() ? 0 : key->text().at(0).unicode());
            if (ascii != 0) {
                if (watched == CbVdiv)
                    CbVdiv_KeyPress(ascii);
                else
                    CbMaDiv_KeyPress(ascii);
            }
            return enter;
        }
        return false;
    }

    if (type == QEvent::FocusOut && (watched == CbVdiv || watched == CbMaDiv) &&
        !listLosingFocus_) {
        auto* focus = static_cast<QFocusEvent*>(event);
        // The list is about to lose the focus to another control of the window; opening
        // its own pop-up or leaving the window is no validation.
        if (focus->reason() == Qt::PopupFocusReason ||
            focus->reason() == Qt::ActiveWindowFocusReason)
            return false;
        if (watched == CbVdiv)
            CbVdiv_Validate();
        else
            CbMaDiv_Validate();
        // The list's own handling of the lost focus picks the entry matching a typed text;
        // that is no click on an entry, so it runs with the click handlers held off.
        listLosingFocus_ = true;
        QCoreApplication::sendEvent(watched, event);
        listLosingFocus_ = false;
        return true;
    }

    if (type == QEvent::MouseButtonPress) {
        for (int k = 0; k < kSlotCount; ++k) {
            if (watched != BtCkBrowse[static_cast<std::size_t>(k)]) continue;
            auto* m = static_cast<QMouseEvent*>(event);
            const int button = Scope::ButtonNumber(m->button());
            BtCkBrowse_MouseDown(k, button, Scope::ShiftNumber(m->modifiers()),
                                 static_cast<float>(m->position().x()),
                                 static_cast<float>(m->position().y()));
            // The right button only clears; it never clicks.
            return button == 2;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

// ---------------------------------------------------------------------------------
// Start-up

void Base::Form_Load() {
    state_.CurrentMode = kCookMode;
    state_.InDeviceId = -1;
    state_.OutDeviceId = -1;
    Shape->setAutoFillBackground(false);
    // The example families go into the program's folder before anything reads it.
    InstallExamples(ProgramDirectory());
    InitSettings();
    // The families named on the command line, each in the next free slot; a file that
    // cannot be read takes none.
    int slot = 0;
    for (const std::string& family : startFamilies_) {
        if (slot == kSlotCount) break;
        const std::string path =
            QFileInfo(QString::fromStdString(family)).absoluteFilePath().toStdString();
        CurveFile file = ReadCurveFile(path, GetFileName(path));
        if (!file.ok && file.reason.empty()) {
            Message("Can't open " + family);
            continue;
        }
        if (TakeIntoSlot(slot, path, std::move(file))) ++slot;
    }
    startFamilies_.clear();
    state_.CaptureStopped = true;
    show();
    SetGridVoltages(50, 0);
    DoEvents();
    if (closing_) return;
    RedrawPlot();
    Mnu_Cook_Click();
}

void Base::OpenAtStart(std::vector<std::string> families, std::string configuration) {
    startFamilies_ = std::move(families);
    startConfiguration_ = std::move(configuration);
}

void Base::InitSettings() {
    if (settingsDone_) return;
    settingsDone_ = true;
    for (float v : kMilliampsPerDivScales)
        CbMaDiv->addItem(QString::fromStdString(GeneralNumber(v)));
    CbMaDiv->setCurrentIndex(2);
    for (float v : kVoltsPerDivScales) CbVdiv->addItem(QString::fromStdString(GeneralNumber(v)));
    CbVdiv->setCurrentIndex(2);
    TxPwr->setText("2");
    state_.OriginY = 65536.0f;
    // The grid fields limit a recalled voltage against these full scales, so they are
    // in force before the recall rather than after it.
    state_.Vg1FullScale = 100;
    state_.Vg2FullScale = 300;
    ShowCalibrationFactors();
    // The first start (no configuration saved yet, no file named) shows an example family
    // whole, with a hint where to click.
    const bool firstStart =
        startConfiguration_.empty() && startFamilies_.empty() && ReadMostRecent().empty();
    // A configuration named on the command line stands in for the most recent one.
    if (startConfiguration_.empty() || !LoadConfiguration(startConfiguration_)) RecallMostRecent();
    startConfiguration_.clear();
    const std::string example = ProgramDirectory() + "/" + kFirstFamily;
    CurveFile exampleFile = firstStart ? ReadCurveFile(example, kFirstFamily) : CurveFile{};
    if (exampleFile.ok && TakeIntoSlot(0, example, std::move(exampleFile))) {
        FitToFamilies();
        Status(kFirstHint);
    }
    state_.StartupDone = true;
}

// ---------------------------------------------------------------------------------
// Layout

void Base::Form_Resize() {
    Plot().Clear();
    const QWidget* client = centralWidget();
    Stuff->move(Stuff->x(), ScopeBox->y());
    // A window smaller than the margins (minimised) keeps a plot of at least one pixel.
    const int h = std::max(1, client->height() - kPlotMarginHeight);
    const int w = std::max(1, client->width() - kPlotMarginWidth);
    ScopeBox->resize(w, h);
    Plot().SetScale(kPlotUnits, kPlotUnits);
    DoEvents();
    RedrawPlot();
}

// ---------------------------------------------------------------------------------
// Modes and the small redraw handlers

void Base::Mnu_Capture_Click() {
    FrmCook->hide();
    FrmLoad->hide();
    FrmStage->hide();
    FrmCapture->show();
    state_.CurrentMode = kCaptureMode;
    RedrawPlot();
}

void Base::Mnu_Cook_Click() {
    FrmCapture->hide();
    FrmCook->show();
    FrmLoad->show();
    FrmStage->show();
    state_.CurrentMode = kCookMode;
    RedrawPlot();
}

// Picking, Enter and leaving a list refuse a text that is no usable scale (the list shows
// the scale in force again and the status line says why), then redraw.
void Base::CbVdiv_Click() {
    RefuseScaleText(CbVdiv);
    RedrawPlot();
}
void Base::CbMaDiv_Click() {
    RefuseScaleText(CbMaDiv);
    RedrawPlot();
}
void Base::CbVdiv_Validate() {
    RefuseScaleText(CbVdiv);
    RedrawPlot();
}
void Base::CbMaDiv_Validate() {
    RefuseScaleText(CbMaDiv);
    RedrawPlot();
}

void Base::CbVdiv_KeyPress(int keyAscii) {
    if (keyAscii != kKeyEnter) return;
    RefuseScaleText(CbVdiv);
    RedrawPlot();
}

void Base::CbMaDiv_KeyPress(int keyAscii) {
    if (keyAscii != kKeyEnter) return;
    RefuseScaleText(CbMaDiv);
    RedrawPlot();
}

void Base::CkCaptured_Click() { RedrawPlot(); }
void Base::CkImport_Click(int) { RedrawPlot(); }
void Base::Form_Click() { RedrawPlot(); }

void Base::mousePressEvent(QMouseEvent* event) {
    // Only a click on the bare window background, not one passed up from a control.
    QWidget* hit = childAt(event->position().toPoint());
    if (hit == nullptr || hit == centralWidget()) Form_Click();
    QMainWindow::mousePressEvent(event);
}

// ---------------------------------------------------------------------------------
// Closing

void Base::closeEvent(QCloseEvent* event) {
    Form_Unload();
    event->accept();
}

void Base::Form_Unload() {
    closing_ = true;
    // Every wait in progress ends now; the handlers that started them see Closing().
    for (QEventLoop* loop : waitLoops_) loop->quit();
    if (state_.WaveInHandle != 0) StopCapture();
    if (state_.WaveOutHandle != 0) CloseStimulus();
}

// ---------------------------------------------------------------------------------
// Waiting and messages

void Base::DoEvents() { QCoreApplication::processEvents(); }

void Base::Pause(int ms) {
    if (closing_) return;
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);  // a coarse timer may end a 100 ms pause at 95 ms
    connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    waitLoops_.push_back(&loop);
    waitLoop_ = &loop;
    timer.start(std::max(0, ms));
    loop.exec();
    waitLoops_.pop_back();
    waitLoop_ = waitLoops_.empty() ? nullptr : waitLoops_.back();
}

void Base::WakeWait() {
    if (waitLoop_ != nullptr) waitLoop_->quit();
}

void Base::Status(const std::string& text) {
    statusBar()->showMessage(QString::fromStdString(text));
}

void Base::Message(const std::string& text, const std::string& title, MessageIcon icon) {
    if (services_.messages != nullptr) services_.messages->Show(text, title, icon);
}

}  // namespace anodix
