// Configuration files: Save, Recall, and the recall of the one saved last at start-up.
#include <algorithm>
#include <cmath>
#include <functional>
#include <optional>

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QGuiApplication>
#include <QLineEdit>
#include <QScreen>

#include "app/base.h"
#include "config/configuration.h"
#include "tools/appdir.h"
#include "tools/fields.h"
#include "tools/dialogs.h"
#include "tools/numtext.h"

namespace anodix {

namespace {

// The screen's logical resolution, for twips at 1440 per inch.
double LogicalDpi(const QWidget* window) {
    const QScreen* s = window->screen();
    if (s == nullptr) s = QGuiApplication::primaryScreen();
    const double dpi = s != nullptr ? s->logicalDotsPerInch() : 0.0;
    return dpi > 0 ? dpi : 96.0;
}

// True when the rectangle shows at least in part on one of the screens.
bool OnSomeScreen(const QRect& frame) {
    for (const QScreen* s : QGuiApplication::screens()) {
        if (s->geometry().intersects(frame)) return true;
    }
    return false;
}

// The window's border is known only once the window is on the screen. A geometry
// applied before that (the recall at start-up) takes the outer size as the inner one;
// this watcher sets the outer size right as soon as the border is known, so the
// window does not grow by its border at every start.
class OuterSizeFix : public QObject {
public:
    OuterSizeFix(QWidget* window, const QRect& frame)
        : QObject(window), window_(window), frame_(frame) {
        setObjectName("OuterSizeFix");
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        const QEvent::Type type = event->type();
        if (watched == window_ &&
            (type == QEvent::Show || type == QEvent::Move || type == QEvent::Resize) &&
            window_->isVisible()) {
            const QRect outer = window_->frameGeometry();
            const QRect inner = window_->geometry();
            if (outer != inner) {
                window_->removeEventFilter(this);
                deleteLater();
                const QSize size(std::max(1, frame_.width() - (outer.width() - inner.width())),
                                 std::max(1, frame_.height() - (outer.height() - inner.height())));
                if (window_->size() != size) window_->resize(size);
                if (window_->frameGeometry().topLeft() != frame_.topLeft())
                    window_->move(frame_.topLeft());
            }
        }
        return false;
    }

private:
    QWidget* window_;
    QRect frame_;
};

}  // namespace

void Base::Mnu_Export_Pref_Click() {
    if (services_.dialogs == nullptr) return;
    const std::string path =
        FileDialog(*services_.dialogs, ProgramDirectory(), "*.vyr", "VYR Configuration", "Save");
    if (path.empty()) return;

    ConfigurationValues v;
    v.Mode = state_.CurrentMode;
    const double dpi = LogicalDpi(this);
    const QRect frame = frameGeometry();
    v.Top = static_cast<float>(PixelsToTwips(frame.y(), dpi));
    v.Left = static_cast<float>(PixelsToTwips(frame.x(), dpi));
    v.Width = static_cast<float>(PixelsToTwips(frame.width(), dpi));
    v.Height = static_cast<float>(PixelsToTwips(frame.height(), dpi));
    v.Ia = CbMaDiv->currentText().toStdString();
    v.Ua = CbVdiv->currentText().toStdString();
    v.Pa = TxPwr->text().toStdString();
    v.Ld = RLoad->text().toStdString();
    v.InDevice = state_.InDeviceId;
    v.OutDevice = state_.OutDeviceId;
    v.VG1 = TxVg1->text().toStdString();
    v.VG2 = TxVg2->text().toStdString();
    for (int k = 0; k < kSlotCount; ++k) {
        // An unticked slot's path is not kept.
        if (CkImport[static_cast<std::size_t>(k)]->isChecked()) {
            v.Import[static_cast<std::size_t>(k)] = SlotPath(k).toStdString();
        }
    }
    v.CalX = state_.CalX;
    v.CalY = state_.CalY;
    if (state_.CornerV) v.CornerV = static_cast<float>(*state_.CornerV);
    if (state_.CornerI) v.CornerI = static_cast<float>(*state_.CornerI);
    if (state_.LoadLineSet) {
        v.Ua0 = GeneralNumber(state_.LoadLineUa);
        v.Ia0 = GeneralNumber(state_.LoadLineIa);
    }
    v.Vin = TxVin->text().toStdString();
    v.Bplus = TxBplus->text().toStdString();
    v.Ra = TxRa->text().toStdString();
    v.Rk = TxRk->text().toStdString();
    v.Rl = TxRl->text().toStdString();
    v.Raa = TxRaa->text().toStdString();
    v.Bias = TxBias->text().toStdString();
    v.Bypassed = CkBypassed->isChecked() ? "1" : "0";
    v.PushPull = CkPushPull->isChecked() ? "1" : "0";

    // The record only ever names a file that was written. The record itself is lost
    // silently when the program's folder cannot be written: start-up then finds none.
    std::string reason;
    if (!SaveConfiguration(path, v, &reason)) {
        Message("Can't write " + path + ": " + reason, "Anodix", MessageIcon::Critical);
        return;
    }
    RecordMostRecent(path);
}

void Base::Mnu_Import_Pref_Click() {
    if (services_.dialogs == nullptr) return;
    const std::string path =
        FileDialog(*services_.dialogs, ProgramDirectory(), "*.vyr", "VYR Configuration", "Open");
    if (path.empty()) return;
    LoadConfiguration(path);
}

bool Base::LoadConfiguration(const std::string& path) {
    std::string notConfiguration;
    const std::optional<ConfigurationValues> values = ReadConfiguration(path, &notConfiguration);
    if (!values) {
        Message(notConfiguration.empty() ? "Can't open " + path
                                         : "Can't read " + path + ": " + notConfiguration);
        return false;
    }
    ApplyConfiguration(*values);
    return true;
}

void Base::ApplyConfiguration(const ConfigurationValues& v) {
    // Window place and size. A size of zero or less, or a place wholly off every
    // screen, would lose the window: such a geometry is left as it is.
    const double dpi = LogicalDpi(this);
    // Kept within the largest widget size, so that the rectangle's own arithmetic
    // (right = left + width - 1) cannot overflow on absurd values.
    auto pixels = [dpi](float twips) {
        return std::clamp(TwipsToPixels(twips, dpi), -QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    };
    const bool placed = v.Holds("FORM/Top") && v.Holds("FORM/Left") && v.Holds("FORM/Width") &&
                        v.Holds("FORM/Height");
    QRect frame(pixels(v.Left), pixels(v.Top), pixels(v.Width), pixels(v.Height));
    // No larger than the whole desktop: the plot's image grows with the window.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect desktop = screen->virtualGeometry();
        frame.setSize(frame.size().boundedTo(desktop.size()));
    }
    if (placed && frame.width() > 0 && frame.height() > 0 && OnSomeScreen(frame)) {
        // The file holds the outer size; the window is sized by its inside.
        const int borderWidth = frameGeometry().width() - geometry().width();
        const int borderHeight = frameGeometry().height() - geometry().height();
        move(frame.topLeft());
        resize(std::max(1, frame.width() - borderWidth),
               std::max(1, frame.height() - borderHeight));
        delete findChild<QObject*>("OuterSizeFix", Qt::FindDirectChildrenOnly);
        if (!isVisible()) new OuterSizeFix(this, frame);
    }

    // Fields: each assignment runs the field's own change handling. What the file does not
    // hold (a file cut short, one from before a key was kept) stays as it is.
    const auto put = [&v](const char* key, const std::string& value,
                          const std::function<void(const QString&)>& to) {
        if (v.Holds(key)) to(QString::fromStdString(value));
    };
    put("DISPLAY/Ia", v.Ia, [this](const QString& t) { CbMaDiv->setCurrentText(t); });
    put("DISPLAY/Ua", v.Ua, [this](const QString& t) { CbVdiv->setCurrentText(t); });
    put("DISPLAY/Pa", v.Pa, [this](const QString& t) { TxPwr->setText(t); });
    put("DISPLAY/Ld", v.Ld, [this](const QString& t) { RLoad->setText(t); });
    put("DISPLAY/Vin", v.Vin, [this](const QString& t) { TxVin->setText(t); });
    // The Stage panel's fields, worked out once with the redraw below.
    stageHeld_ = true;
    put("STAGE/Bplus", v.Bplus, [this](const QString& t) { TxBplus->setText(t); });
    put("STAGE/Ra", v.Ra, [this](const QString& t) { TxRa->setText(t); });
    put("STAGE/Rk", v.Rk, [this](const QString& t) { TxRk->setText(t); });
    put("STAGE/Rl", v.Rl, [this](const QString& t) { TxRl->setText(t); });
    put("STAGE/Raa", v.Raa, [this](const QString& t) { TxRaa->setText(t); });
    put("STAGE/Bias", v.Bias, [this](const QString& t) { TxBias->setText(t); });
    put("STAGE/Bypassed", v.Bypassed,
        [this](const QString& t) { CkBypassed->setChecked(TextNumber(t) != 0.0); });
    put("STAGE/PushPull", v.PushPull,
        [this](const QString& t) { CkPushPull->setChecked(TextNumber(t) != 0.0); });
    stageHeld_ = false;
    if (v.Holds("DATA/InDevice")) state_.InDeviceId = v.InDevice;
    if (v.Holds("DATA/OutDevice")) state_.OutDeviceId = v.OutDevice;
    put("DATA/VG1", v.VG1, [this](const QString& t) { TxVg1->setText(t); });
    put("DATA/VG2", v.VG2, [this](const QString& t) { TxVg2->setText(t); });
    // Factors of 0 (files from before they were set) leave those in force.
    if (std::isfinite(v.CalX) && v.CalX > 0.0f) state_.CalX = v.CalX;
    if (std::isfinite(v.CalY) && v.CalY > 0.0f) state_.CalY = v.CalY;
    // A corner key left empty clears that corner; a file without the key keeps it.
    if (v.Holds("CAL/HzV")) state_.CornerV = v.CornerV;
    if (v.Holds("CAL/HzI")) state_.CornerI = v.CornerI;
    ShowCalibrationFactors();
    // The operating point comes back as the last load line's: its numbers show, and typing
    // Rload or a Shift-click draws it.
    const std::optional<double> ua0 = WholeNumber(v.Ua0), ia0 = WholeNumber(v.Ia0);
    if (ua0 && ia0 && *ua0 >= 0.0 && *ua0 <= 1e6 && *ia0 >= 0.0 && *ia0 <= 1e6) {
        state_.LoadLineSet = true;
        state_.LoadLineUa = static_cast<float>(*ua0);
        state_.LoadLineIa = static_cast<float>(*ia0);
        state_.LoadLineR = static_cast<float>(TextNumber(RLoad->text()));
        TxUa0->setText(QString::fromStdString(Format(*ua0, "##0.0")));
        TxIa0->setText(QString::fromStdString(Format(*ia0, "##0.0")));
    }

    if (v.Holds("FORM/Mode")) state_.CurrentMode = v.Mode;
    if (state_.InCaptureMode()) {
        Mnu_Capture_Click();
        RedrawPlot();
        return;
    }
    state_.CurrentMode = kCookMode;
    Mnu_Cook_Click();
    if (v.Holds("IMPORT")) {
        for (int k = 0; k < kSlotCount; ++k) {
            const std::string& slot = v.Import[static_cast<std::size_t>(k)];
            QCheckBox* box = CkImport[static_cast<std::size_t>(k)];
            SetSlotPath(k, QString::fromStdString(slot));
            if (!slot.empty()) {
                box->setText(QString::fromStdString(GetField(GetFileName(slot), 1, ".")));
                box->setChecked(true);
            } else {
                box->setText("Import >>");
                box->setChecked(false);
            }
        }
        // A family file gone or unreadable leaves its slot ticked, shown as missing; one
        // message names them all.
        std::string missing;
        for (int k = 0; k < kSlotCount; ++k) {
            const CurveFile& file = SlotFile(k);
            if (SlotPath(k).isEmpty() || file.ok) continue;
            missing += "\n" + SlotPath(k).toStdString() +
                       (file.reason.empty() ? "" : " (" + file.reason + ")");
        }
        if (!missing.empty())
            Message("These family files of the configuration cannot be read:" + missing);
    }
    RedrawPlot();
}

void Base::RecallMostRecent() {
    const std::string path = ReadMostRecent();
    // Nothing saved yet, or the file is gone: the start-up values stand, silently.
    if (path.empty()) return;
    std::string notConfiguration;
    if (const std::optional<ConfigurationValues> values =
            ReadConfiguration(path, &notConfiguration))
        ApplyConfiguration(*values);
    else if (!notConfiguration.empty())
        Message("Can't read " + path + ": " + notConfiguration);
}

}  // namespace anodix
