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
#include "scene/scene.h"
#include "tools/dialogs.h"

class QAction;
class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QMenu;
class QEventLoop;
class QPrinter;

namespace anodix {

// Key codes the handlers receive (the platform's virtual-key numbering).
inline constexpr int kKeyEnter = 13;
inline constexpr int kKeyUp = 38;
inline constexpr int kKeyDown = 40;

class Scope;
class PlotSurface;
struct ConfigurationValues;

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
    // Ends the program at once (no usable sound device). Tests replace it; when empty,
    // the window closes (releasing what is open) and the application quits.
    std::function<void()> endProgram;

    // ---- Numeric field stepping ----
    bool StepNumericField(QLineEdit* field, int keyCode, float step);
    void TxPwr_KeyDown(int keyCode, int shift);
    void RLoad_KeyDown(int keyCode, int shift);
    void TxVin_KeyDown(int keyCode, int shift);
    void TxVg1_KeyDown(int keyCode, int shift);
    void TxVg2_KeyDown(int keyCode, int shift);

    // ---- Cook mode: redraw, limit, load line, readout, import slots ----
    void RedrawPlot();
    void PlaceOperatingPoint(float x, float y);
    void RLoad_Change();
    void TxPwr_Change();
    void Scope_MouseDown(int button, int shift, float x, float y);
    void Scope_MouseMove(int button, int shift, float x, float y);
    void ShowReadout(float x, float y);
    void BtCkBrowse_Click(int index);
    void BtCkBrowse_MouseDown(int index, int button, int shift, float x, float y);
    void BtExport_Click();
    // The slot's file path (the check box's Tag).
    QString SlotPath(int index) const;
    void SetSlotPath(int index, const QString& path);
    void SetSlotPath(int index, const QString& path, const std::string& shown);  // shown: the slot's tip
    // Fills the slot as a browse does: the path, the file name as the caption, ticked.
    bool TakeIntoSlot(int index, const std::string& path);

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
    const CapturedFamily& Captured() const { return captured_; }
    void CbCapturedRow_Click();
    void TxCalV_Change();
    void TxCalMa_Change();

    // ---- Fitted models and the load line's numbers (base_model.cpp) ----
    // "Fit model...": asks for the model (askModelKind), fits it to the slot's family and
    // shows the parameters and errors.
    void FitSlotModel(int index);
    void SaveSlotModel(int index);   // "Save model as TDF..."
    void ExportSlotSpice(int index); // "Export SPICE..."
    // The slot's fit, when one has been made since its file was chosen.
    const FitResult* SlotFit(int index) const;
    void TxVin_Change();
    void CkModel_Click();
    void Mnu_ShowModels_Click();
    // The numbers of the load line through the operating point for the swing in TxVin,
    // from the first ticked family (or its model, with CkModel ticked).
    void ShowLoadLineNumbers();
    // Asks which model to fit to the family (and a pentode's screen voltage); nothing
    // when the user cancels. Tests replace it; when empty, Qt's input dialogs ask.
    std::function<std::optional<FitRequest>(const QString& family)> askModelKind;

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
    std::array<QCheckBox*, 5> CkImport{};
    std::array<QPushButton*, 5> BtCkBrowse{};
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
    std::array<QMenu*, 5> MnuSlot{};  // each slot's context menu (on its check box)

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

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
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
    void ConnectHandlers();
    // Shows a message box through the message service ("Anodix" unless a title is given).
    void Message(const std::string& text, const std::string& title = "Anodix",
                 MessageIcon icon = MessageIcon::None);

    Services services_;
    WindowState state_;
    bool closing_ = false;
    QEventLoop* waitLoop_ = nullptr;  // the nested wait in progress, if any
    std::vector<QEventLoop*> waitLoops_;  // every nested wait, innermost last
    PlotSurface* plotOverride_ = nullptr;
    bool settingsDone_ = false;           // InitSettings runs once
    bool listLosingFocus_ = false;        // a scale list is handling its lost focus
    std::array<QString, 5> slotPaths_;    // the import slots' file paths ("" = empty)
    std::vector<std::string> startFamilies_;  // named on the command line
    std::string startConfiguration_;          // named on the command line; "" = the most recent
    std::vector<int> devicePositions_;  // DevicesBox position -> device number
    std::array<std::optional<FitResult>, 5> slotFits_;          // each slot's fit
    std::array<std::shared_ptr<const Family>, 5> slotModels_;   // and its model's family
    struct LoadFamily;
    std::shared_ptr<LoadFamily> loadFamily_;  // the family the numbers read, until a redraw
    CapturedFamily captured_;
    std::optional<double> capturedRowPick_;  // the grid-2 row picked; none = the default
    std::unique_ptr<CaptureRun> run_;        // the latest capture run (kept for its calibration)
    std::uint64_t overruns_ = 0;             // frames the input had dropped at the last read
    std::vector<std::int16_t> readBuffer_;   // one read of the input
    bool inputLost_ = false;                 // the run ended on an input failure
};

}  // namespace anodix
