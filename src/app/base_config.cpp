// Configuration files: Save, Recall, and the recall of the one saved last at start-up.
#include <algorithm>
#include <cmath>

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
    OuterSizeFix(QWidget* window, const QRect& frame) : QObject(window), window_(window), frame_(frame) {
        setObjectName("OuterSizeFix");
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        const QEvent::Type type = event->type();
        if (watched == window_ && (type == QEvent::Show || type == QEvent::Move || type == QEvent::Resize) &&
            window_->isVisible()) {
            const QRect outer = window_->frameGeometry();
            const QRect inner = window_->geometry();
            if (outer != inner) {
                window_->removeEventFilter(this);
                deleteLater();
                const QSize size(std::max(1, frame_.width() - (outer.width() - inner.width())),
                                 std::max(1, frame_.height() - (outer.height() - inner.height())));
                if (window_->size() != size) window_->resize(size);
                if (window_->frameGeometry().topLeft() != frame_.topLeft()) window_->move(frame_.topLeft());
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
    for (int k = 0; k < 5; ++k) {
        // An unticked slot's path is not kept.
        if (CkImport[static_cast<std::size_t>(k)]->isChecked()) {
            v.Import[static_cast<std::size_t>(k)] = SlotPath(k).toStdString();
        }
    }
    v.CalX = state_.CalX;
    v.CalY = state_.CalY;
    if (state_.CornerV) v.CornerV = static_cast<float>(*state_.CornerV);
    if (state_.CornerI) v.CornerI = static_cast<float>(*state_.CornerI);

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
    const std::optional<ConfigurationValues> values = ReadConfiguration(path);
    if (!values) {
        Message("Can't open " + path);
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
    QRect frame(pixels(v.Left), pixels(v.Top), pixels(v.Width), pixels(v.Height));
    // No larger than the whole desktop: the plot's image grows with the window.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect desktop = screen->virtualGeometry();
        frame.setSize(frame.size().boundedTo(desktop.size()));
    }
    if (frame.width() > 0 && frame.height() > 0 && OnSomeScreen(frame)) {
        // The file holds the outer size; the window is sized by its inside.
        const int borderWidth = frameGeometry().width() - geometry().width();
        const int borderHeight = frameGeometry().height() - geometry().height();
        move(frame.topLeft());
        resize(std::max(1, frame.width() - borderWidth), std::max(1, frame.height() - borderHeight));
        delete findChild<QObject*>("OuterSizeFix", Qt::FindDirectChildrenOnly);
        if (!isVisible()) new OuterSizeFix(this, frame);
    }

    // Fields: each assignment runs the field's own change handling.
    CbMaDiv->setCurrentText(QString::fromStdString(v.Ia));
    CbVdiv->setCurrentText(QString::fromStdString(v.Ua));
    TxPwr->setText(QString::fromStdString(v.Pa));
    RLoad->setText(QString::fromStdString(v.Ld));
    state_.InDeviceId = v.InDevice;
    state_.OutDeviceId = v.OutDevice;
    TxVg1->setText(QString::fromStdString(v.VG1));
    TxVg2->setText(QString::fromStdString(v.VG2));
    // Factors of 0 (files from before they were set) leave those in force.
    if (std::isfinite(v.CalX) && v.CalX > 0.0f) state_.CalX = v.CalX;
    if (std::isfinite(v.CalY) && v.CalY > 0.0f) state_.CalY = v.CalY;
    state_.CornerV = v.CornerV;
    state_.CornerI = v.CornerI;
    ShowCalibrationFactors();

    state_.CurrentMode = v.Mode;
    if (state_.InCaptureMode()) {
        Mnu_Capture_Click();
        RedrawPlot();
        return;
    }
    Mnu_Cook_Click();
    for (int k = 0; k < 5; ++k) {
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
    RedrawPlot();
}

void Base::RecallMostRecent() {
    const std::string path = ReadMostRecent();
    // Nothing saved yet, or the file is gone: the start-up values stand, silently.
    if (path.empty()) return;
    if (const std::optional<ConfigurationValues> values = ReadConfiguration(path)) ApplyConfiguration(*values);
}

}  // namespace anodix
