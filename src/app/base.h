#pragma once
// The main window. It holds every control and the window state, and its handlers
// are named after control and event (StartButton_Click, TxVg1_Change,
// Scope_MouseDown). Their definitions are split by subsystem:
//   base.cpp           controls, menus, start-up, layout, modes, closing
//   base_stepping.cpp  arrow-key stepping of numeric fields
//   base_cook.cpp      redraw, dissipation limit, load line, readout, import slots
//   base_capture.cpp   devices, volume, stimulus, capture run, calibration
//   base_config.cpp    configuration files and the most-recently-used record
//   base_convert.cpp   conversion of external data tables
//   base_picture.cpp   pictures of the plot: export to PNG, SVG or PDF, and printing
//   base_model.cpp     fitted models of the slots, the load line's numbers
//   base_stage.cpp     the Stage panel, its overlay, the views of the field, matching
#include <QMainWindow>
#include <QString>
#include <array>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/services.h"
#include "app/windowstate.h"
#include "capture/capturedfamily.h"
#include "capture/run.h"
#include "model/fit.h"
#include "model/spice.h"
#include "plot/export.h"
#include "scene/scene.h"
#include "stage/field.h"
#include "stage/stage.h"
#include "tools/dialogs.h"

class QAction;
class QCheckBox;
class QComboBox;
class QDockWidget;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QMenu;
class QEventLoop;
class QPrinter;
class QUrl;

namespace anodix {

// Key codes the handlers receive (the platform's virtual-key numbering).
inline constexpr int kKeyEnter = 13;
inline constexpr int kKeyUp = 38;
inline constexpr int kKeyDown = 40;

class Scope;
class PlotSurface;
struct ConfigurationValues;

// What "Fit model..." asks of a family that does not say: a triode's or a pentode's,
// and the pentode's screen voltage.
struct FitRequest {
    bool pentode = false;
    double screenVolts = 0.0;
};

class Base : public QMainWindow {
    Q_OBJECT

public:
    explicit Base(Services services, QWidget* parent = nullptr);
    ~Base() override;

    WindowState& State() { return state_; }
    const WindowState& State() const { return state_; }
    PlotSurface& Plot();
    // Draws onto another surface instead of the plot's own image (tests record with it);
    // nullptr returns to the plot.
    void SetPlotSurfaceForTesting(PlotSurface* surface);
    // What the plot shows now, as a scene that draws it again anywhere.
    CookScene Scene() const;
    // The number a control's text reads as (the leading number; 0 when there is none).
    static double TextNumber(const QString& text);

    // ---- Start-up, layout, modes, closing ----
    void Form_Load();
    // Files named on the command line, taken by the next Form_Load: the configuration is
    // recalled in place of the most recent one (which stands when it cannot be read), then
    // the families go into the slots in order. A file that cannot be read is reported as a
    // recall or browse reports it and left out.
    void OpenAtStart(std::vector<std::string> families, std::string configuration);
    void Form_Resize();
    void Form_Unload();
    void Form_Click();
    void InitSettings();
    void Mnu_Capture_Click();
    void Mnu_Cook_Click();
    void CbVdiv_Click();
    void CbMaDiv_Click();
    void CbVdiv_Validate();
    void CbMaDiv_Validate();
    void CbVdiv_KeyPress(int keyAscii);
    void CbMaDiv_KeyPress(int keyAscii);
    void CkCaptured_Click();
    void CkImport_Click(int index);
    // True once the window is closing: every nested wait ends, no device is opened.
    bool Closing() const { return closing_; }
    // Processes pending events once (the "yield" of long operations).
    void DoEvents();
    // Waits in a nested event loop for ms milliseconds, until WakeWait() is called, or
    // until the window closes (never a spin, never a sleep). Waits nest.
    void Pause(int ms);
    // Ends the innermost Pause at once (a device pick ends the prompt's wait).
    void WakeWait();

    // ---- Numeric field stepping ----
    bool StepNumericField(QLineEdit* field, int keyCode, float step);
    void TxPwr_KeyDown(int keyCode, int shift);
    void RLoad_KeyDown(int keyCode, int shift);
    void TxVin_KeyDown(int keyCode, int shift);
    void TxVg1_KeyDown(int keyCode, int shift);
    void TxVg2_KeyDown(int keyCode, int shift);

    // ---- Cook mode: redraw, limit, load line, readout, import slots ----
    void RedrawPlot();
    // A scale list's text that is no usable scale: put back to the scale in force, the
    // status saying why; false when the text is usable.
    bool RefuseScaleText(QComboBox* list);
    void PlaceOperatingPoint(float x, float y);
    void RLoad_Change();
    void TxPwr_Change();
    // The operating point chosen at (x, y): placed, the small-signal values hidden, the
    // focus on RLoad (a Shift-click, Enter in TxUa0 or TxIa0).
    void ChooseOperatingPoint(float x, float y);
    void TxUa0_KeyPress(int keyAscii);
    void TxIa0_KeyPress(int keyAscii);
    void PlaceTypedOperatingPoint();
    void Scope_MouseDown(int button, int shift, float x, float y);
    void Scope_MouseMove(int button, int shift, float x, float y);
    void ShowReadout(float x, float y);
    void BtCkBrowse_Click(int index);
    void BtCkBrowse_MouseDown(int index, int button, int shift, float x, float y);
    void BtExport_Click();
    // The slot's file path (the check box's Tag).
    QString SlotPath(int index) const;
    // Sets the slot's file and reads it (an empty path empties the slot).
    void SetSlotPath(int index, const QString& path);
    // Fills the slot as a browse does: the path, the file name as the caption, ticked. A
    // file that holds no curves is refused with a message and the slot left as it was.
    bool TakeIntoSlot(int index, const std::string& path);
    // What the slot holds of its file, as last read.
    const CurveFile& SlotFile(int index) const;

    // ---- Capture mode: devices, volume, stimulus, capture run, calibration ----
    void InitInDevices();
    void InitOutDevices();
    void PickInputDevice();
    void PickOutputDevice();
    void DevicesBox_Click();
    void ShowVolume();
    void Tvol_Change();
    void SetGridVoltages(float vg1, float vg2);
    void ScanGridSteps();
    void CloseStimulus();
    void TxVg1_Change();
    void TxVg2_Change();
    void StartButton_Click();
    void StopCapture();
    void BtCalib_Click();
    // The captured family's TDF text: the row picked in CbCapturedRow, or the default
    // row; "" without curves.
    std::string CapturedTdfText() const;
    Family CapturedRowFamily() const;
    const CapturedFamily& Captured() const { return captured_; }
    void CbCapturedRow_Click();
    void TxCalV_Change();
    void TxCalMa_Change();

    // ---- Fitted models and the load line's numbers (base_model.cpp) ----
    // "Fit model...": fits every model of the family's kind to the slot's family (asking
    // whether a TDF family is a triode's or a pentode's, askModelKind), lists them with
    // their errors for the user to choose one (askModelChoice, the best offered), shows
    // the chosen one's parameters and draws its curves.
    void FitSlotModel(int index);
    void SaveSlotModel(int index);  // "Save model as TDF..."
    void ExportSlotSpice(int index,
                         SpiceDialect dialect = SpiceDialect::Ngspice);  // "Export SPICE..."
    // The slot's chosen fit, when one has been made since its file was chosen.
    const ModelFit* SlotFit(int index) const;
    void TxVin_Change();
    void CkModel_Click();
    void Mnu_ShowModels_Click();
    // The numbers of the load line through the operating point for the swing in TxVin,
    // from the first ticked family (or its model, with CkModel ticked).
    void ShowLoadLineNumbers();
    // Asks which model to fit to the family (and a pentode's screen voltage); nothing
    // when the user cancels. Tests replace it; when empty, Qt's input dialogs ask.
    std::function<std::optional<FitRequest>(const QString& family)> askModelKind;
    // Picks one of the fitted models from their listing (one line each, best offered
    // first is `best`); nothing when the user cancels. Tests replace it.
    std::function<std::optional<int>(const QStringList& listing, int best)> askModelChoice;

    // ---- The Stage panel, the views of the field, matching (base_stage.cpp) ----
    // A field or box of the panel changed: the numbers and the plot's overlay follow.
    void Stage_Change();
    // The stage's numbers for the panel's fields as they stand, worked out again only when a
    // field, the swing, Pd or the family has changed; nothing is worked out while B+ and Ra
    // (a pair: B+, Raa and the bias) are not all filled in. True when the numbers shown
    // changed (the overlay then needs a redraw).
    bool RefreshStage();
    // The report of the numbers shown, when the panel is filled in and a family ticked.
    const StageReport* StageResult() const;
    // Each opens a window of its own showing the view of the first ticked family.
    void Mnu_Map_Click(FieldQuantity quantity);
    void Mnu_Transfer_Click();
    void Mnu_StageView_Click();
    // Matches the families of the ticked slots (along the load line when one is set) and
    // writes the report as a PDF.
    void Mnu_Match_Click();
    // Writes a view to path as ExportPicture writes the plot (".png" added to a name without
    // a picture's extension); a message names a file that cannot be written.
    bool ExportViewPicture(const QString& path, QSize size, const DrawPicture& draw);

    // ---- Scales fitted to the families, the wheel, Help ----
    // The smallest scales of the lists that show every ticked family whole; false, and
    // nothing changed, without a family.
    bool FitToFamilies();
    void Mnu_FitFamilies_Click();
    // The wheel over the plot steps V/div (with Shift mA/div) through its list: forward to
    // the next smaller scale, backward to the next larger.
    void Scope_MouseWheel(int steps, int shift);
    void Mnu_Manual_Click();
    void Mnu_About_Click();
    // Opens a document in the desktop's viewer (true when one took it). Tests replace it;
    // when empty, the desktop's services open it.
    std::function<bool(const QUrl&)> openDocument;

    // ---- Configuration ----
    void Mnu_Export_Pref_Click();
    void Mnu_Import_Pref_Click();
    // False (after saying so) when the file cannot be read.
    bool LoadConfiguration(const std::string& path);
    // Applies the values of a configuration file that has been read.
    void ApplyConfiguration(const ConfigurationValues& values);
    void RecallMostRecent();

    // ---- Data conversion ----
    void MnuConvertion_Click();
    void ConvertExternalData();
    void SaveTdfFiles(const std::vector<Family>& families);

    // ---- Pictures of the plot ----
    void Mnu_ExportPicture_Click();
    void Mnu_Print_Click();
    // Writes what the plot shows to path, typed by its extension: ".png" the plot's own
    // pixels ("name@2x.png" at twice the screen's density), ".svg" or ".pdf" a vector
    // drawing; ".png" is added to a name without one of these. On failure a message
    // names the file and nothing is left of it.
    bool ExportPicture(const QString& path);
    // The name a picture is written to: as chosen, or with ".png" added when it names no
    // picture type; none (with a message) when that added name would replace a file.
    std::optional<QString> PicturePath(const QString& chosen);
    // Asks where to print (true to go ahead). Tests replace it; when empty, Qt's print
    // dialog asks.
    std::function<bool(QPrinter&)> askPrinter;

    // ---- Controls (objectName = the member's name; arrays append "_" and the index) ----
    // Some names are historical: Stuff is the "Display" frame, Test shows the output
    // volume, Req is the Rp readout, Mnu_Import_Pref is Recall, Mnu_Export_Pref is Save.
    QGroupBox* Stuff = nullptr;
    QComboBox* CbVdiv = nullptr;
    QComboBox* CbMaDiv = nullptr;
    QLineEdit* TxPwr = nullptr;
    std::array<QLabel*, 9> Label1{};
    Scope* ScopeBox = nullptr;  // objectName "Scope"

    QGroupBox* FrmCook = nullptr;
    std::array<QCheckBox*, kSlotCount> CkImport{};
    std::array<QPushButton*, kSlotCount> BtCkBrowse{};
    QGroupBox* FrameAbs = nullptr;
    QLabel* Axpos = nullptr;
    QLabel* Aypos = nullptr;
    QLabel* Label9 = nullptr;
    QGroupBox* FrameRel = nullptr;
    QLabel* Xpos = nullptr;
    QLabel* Ypos = nullptr;
    QLineEdit* TxUa0 = nullptr;
    QLineEdit* TxIa0 = nullptr;
    QLineEdit* RLoad = nullptr;
    QLabel* Gm = nullptr;
    QLabel* Mu = nullptr;
    QLabel* Req = nullptr;
    QLabel* Label10 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label6 = nullptr;
    QLabel* Label7 = nullptr;
    QLabel* Label8 = nullptr;

    QGroupBox* FrmCapture = nullptr;
    QLineEdit* TxVg1 = nullptr;
    QLineEdit* TxVg2 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label5 = nullptr;
    QLineEdit* Test = nullptr;
    QLineEdit* Tvol = nullptr;
    QPushButton* StartButton = nullptr;
    QComboBox* DevicesBox = nullptr;
    QCheckBox* CkCaptured = nullptr;
    QPushButton* BtCalib = nullptr;
    QPushButton* BtExport = nullptr;
    QComboBox* CbCapturedRow = nullptr;  // the grid-2 rows of the captured family
    QLabel* Label11 = nullptr;           // "V" of TxCalV
    QLabel* Label12 = nullptr;           // "mA" of TxCalMa
    QLineEdit* TxCalV = nullptr;         // volts at full scale: 4 x CalX
    QLineEdit* TxCalMa = nullptr;        // milliamperes at full scale: 4 x CalY
    QLineEdit* TxCalPeak = nullptr;      // calibration: the peak anode voltage a meter reads
    QLabel* Label13 = nullptr;           // "Vpk" of TxCalPeak
    QLineEdit* TxCalLoad = nullptr;      // calibration: the resistor in place of the tube, ohms
    QLabel* Label14 = nullptr;           // "ohm" of TxCalLoad
    QLabel* LabelCapture = nullptr;      // the capture run's status ("No signal ...")
    QFrame* Shape = nullptr;

    QGroupBox* FrmLoad = nullptr;  // the load line's numbers
    QLineEdit* TxVin = nullptr;    // peak grid swing, volts
    QCheckBox* CkModel = nullptr;  // numbers from the fitted model instead of the curves
    QLabel* LabelVin = nullptr;
    QLabel* LabelVg0 = nullptr;
    QLabel* LabelUp = nullptr;
    QLabel* LabelDown = nullptr;
    QLabel* LabelGain = nullptr;
    QLabel* LabelPout = nullptr;
    QLabel* LabelHd2 = nullptr;
    QLabel* LabelHd3 = nullptr;
    QLabel* LabelThd = nullptr;
    QLabel* LabelLoadNote = nullptr;  // why there are no numbers ("outside the family")
    QLabel* LabelLoadLast = nullptr;  // the numbers are those of a load line no longer drawn
    std::array<QMenu*, kSlotCount> MnuSlot{};  // each slot's context menu (on its check box)

    // The Stage panel, in the column right of the plot (outside the client area, so the plot
    // keeps its width of the client's less 160).
    QDockWidget* DockStage = nullptr;
    QGroupBox* FrmStage = nullptr;
    QLineEdit* TxBplus = nullptr;  // B+, volts
    QLineEdit* TxRa = nullptr;     // ohms, k and M allowed ("10k")
    QLineEdit* TxRk = nullptr;     // empty: no cathode resistor (the bias below, or none)
    QLineEdit* TxRl = nullptr;     // the next stage's grid resistor; empty: none
    QCheckBox* CkBypassed = nullptr;
    QCheckBox* CkPushPull = nullptr;
    QLineEdit* TxRaa = nullptr;   // the pair's plate-to-plate load
    QLineEdit* TxBias = nullptr;  // fixed grid bias, volts (either sign: below the cathode)
    std::array<QLabel*, 6> LabelStageField{};  // the fields' captions
    QLabel* LabelStage = nullptr;              // the numbers, one line each, or what is missing

    QMenu* Mnu_Mode = nullptr;
    QAction* Mnu_Capture = nullptr;
    QAction* Mnu_Cook = nullptr;
    QAction* MnuConvertion = nullptr;
    QMenu* Mnu_preferences = nullptr;
    QAction* Mnu_Import_Pref = nullptr;
    QAction* Mnu_Export_Pref = nullptr;
    QMenu* Mnu_Plot = nullptr;
    QAction* Mnu_ExportPicture = nullptr;
    QAction* Mnu_Print = nullptr;
    QAction* Mnu_ShowModels = nullptr;  // the fitted models drawn over their families
    QAction* Mnu_FitFamilies = nullptr;
    QMenu* Mnu_Maps = nullptr;
    QAction* Mnu_MapGm = nullptr;
    QAction* Mnu_MapRp = nullptr;
    QAction* Mnu_MapMu = nullptr;
    QAction* Mnu_Transfer = nullptr;
    QAction* Mnu_StageView = nullptr;
    QAction* Mnu_Match = nullptr;
    QMenu* Mnu_Help = nullptr;
    QAction* Mnu_Manual = nullptr;
    QAction* Mnu_About = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildControls();
    // One grid step's time: reads the input, making curves of the steps whose answers are
    // in (or feeding the calibration display). False when the input failed (the run has
    // then ended with the error text).
    bool CaptureStep();
    bool FinishRun();
    void FinishSteps(bool all);
    // Hands what the input has recorded to the run.
    bool ReadInput();
    int MsUntilAnswer() const;
    // The sound path's latencies, in frames: where a step's answer is to be looked for first.
    double PathDelayFrames() const;
    // The calibration's reading turned into the factors, with the meter's peak and the load.
    void ApplyCalibration();
    void ShowCalibration();
    void ShowCapturedRows();
    void ShowCalibrationFactors();
    void BuildMenus();
    void BuildModelControls(QWidget* client);
    void ConnectModelHandlers();
    void BuildStageControls();
    void BuildStageMenus();
    void ConnectStageHandlers();
    // A field of the panel: its text taken when usable, put back to the value in force when
    // the user leaves it with one that is not.
    void StageField_Change(std::size_t field);
    void StageField_Validate(std::size_t field);
    // The stage's overlay on the plot at the scene's scales (after the scene is drawn).
    void DrawStage(PlotSurface& plot, const CookScene& scene) const;
    // What Export picture, SVG and PDF and printing draw: the scene and the stage over it.
    DrawPicture PlotDrawing() const;
    // The first ticked slot with a family (-1 when none).
    int FirstTickedSlot() const;
    void OpenView(const QString& title, const DrawPicture& draw);
    void ConnectHandlers();
    // The field's change handling, held off while the user types a text that is no usable
    // value (see base.cpp).
    void ConnectTypedField(QLineEdit* field, const std::function<void()>& handle,
                           const std::function<bool(float)>& usable);
    // Shows the text on the status line until the next one.
    void Status(const std::string& text);
    // Shows a message box through the message service ("Anodix" unless a title is given).
    void Message(const std::string& text, const std::string& title = "Anodix",
                 MessageIcon icon = MessageIcon::None);

    Services services_;
    WindowState state_;
    bool closing_ = false;
    QEventLoop* waitLoop_ = nullptr;      // the nested wait in progress, if any
    std::vector<QEventLoop*> waitLoops_;  // every nested wait, innermost last
    PlotSurface* plotOverride_ = nullptr;
    bool settingsDone_ = false;     // InitSettings runs once
    bool listLosingFocus_ = false;  // a scale list is handling its lost focus
    // The import slots: each file's path ("" = empty) and what was read of it, read again
    // when the file's identity changes.
    struct Slot {
        QString path;
        CurveFile file;
    };
    std::array<Slot, kSlotCount> slots_;
    // Reads the slot's file again when it has changed since it was read.
    void RefreshSlot(std::size_t k);
    // The slot's check box as its file stands: struck out with a tip naming a missing file.
    void ShowSlotState(std::size_t k);
    void PutInSlot(std::size_t k, const QString& path, CurveFile file);
    bool TakeIntoSlot(int index, const std::string& path, CurveFile file);
    std::vector<std::string> startFamilies_;  // named on the command line
    std::string startConfiguration_;          // named on the command line; "" = the most recent
    std::vector<int> devicePositions_;        // DevicesBox position -> device number
    std::array<std::optional<ModelFit>, kSlotCount> slotFits_;          // each slot's chosen fit
    std::array<std::shared_ptr<const Family>, kSlotCount> slotModels_;  // and its model's family
    struct LoadFamily;
    std::shared_ptr<LoadFamily> loadFamily_;  // the family the numbers read, while it is the slot's
    struct StagePanel;
    std::shared_ptr<StagePanel> stage_;  // the Stage panel's values in force and its numbers
    bool stageHeld_ = false;             // a configuration is being applied: no redraw per field
    CapturedFamily captured_;
    std::optional<double> capturedRowPick_;  // the grid-2 row picked; none = the default
    std::unique_ptr<CaptureRun> run_;        // the latest capture run (kept for its calibration)
    std::uint64_t overruns_ = 0;             // frames the input had dropped at the last read
    std::vector<std::int16_t> readBuffer_;   // one read of the input
    bool inputLost_ = false;                 // the run ended on an input failure
};

}  // namespace anodix
