#pragma once
// The real window on scripted file dialogs, recorded messages and a recording plot surface.
#include <QtTest>
#include <QtWidgets>
#include <algorithm>
#include <cmath>
#include <deque>

#include "app/base.h"
#include "audio/memorywave.h"
#include "support/files.h"
#include "plot/recordingsurface.h"
#include "app/scope.h"
#include "tools/appdir.h"

namespace anodix {

struct ScriptedDialogs : FileDialogService {
    std::deque<std::string> answers;  // "" = cancel
    std::vector<FileDialogRequest> asked;
    std::string Run(const FileDialogRequest& request) override {
        asked.push_back(request);
        std::string a = answers.empty() ? "" : answers.front();
        if (!answers.empty()) answers.pop_front();
        return a;
    }
};

struct RecordedMessages : MessageService {
    std::vector<std::string> texts;
    std::vector<MessageIcon> icons;
    void Show(const std::string& text, const std::string&, MessageIcon icon) override {
        texts.push_back(text);
        icons.push_back(icon);
    }
};

// The window on a sound back end (the in-memory one unless a test brings the real one).
template <class Wave>
struct WindowOn {
    enum Start { Unloaded, Cook, Capture };
    Wave wave;
    ScriptedDialogs dialogs;
    RecordedMessages messages;
    RecordingSurface tape;  // drawn on after Record()
    Base w{Services{&wave, &dialogs, &messages}};
    QTimer stopper;

    explicit WindowOn(Start start = Cook) {
        if (start != Unloaded) w.Form_Load();
        if (start == Capture) w.Mnu_Capture_Click();
    }
    RecordingSurface& Record() {
        w.SetPlotSurfaceForTesting(&tape);
        return tape;
    }
    // Answers the device prompt after ms as a user does: position pos or the entry called
    // name; a prompt not shown yet (its click still behind a redraw) is waited for up to 3 s.
    void PickLater(int pos = 0, int ms = 20, const QString& name = {}) {
        QTimer::singleShot(ms, &w, [this, pos, name] { Pick(pos, name, 600); });
    }
    void Pick(int pos, const QString& name, int triesLeft) {
        if (!w.DevicesBox->isVisible() && triesLeft > 0) {
            QTimer::singleShot(5, &w,
                               [this, pos, name, triesLeft] { Pick(pos, name, triesLeft - 1); });
            return;
        }
        const int at = name.isEmpty() ? pos : w.DevicesBox->findText(name);
        QVERIFY2(w.DevicesBox->isVisible() && at >= 0, qPrintable("no prompt or no entry " + name));
        w.DevicesBox->setCurrentIndex(at);
        emit w.DevicesBox->activated(at);
    }
    // Left and right amplitude of what plays now.
    std::pair<int, int> Playing() const {
        const std::vector<std::int16_t> p = wave.PlayingNow();
        return p.size() == 20 ? std::pair<int, int>{p[0], p[1]} : std::pair<int, int>{-1, -1};
    }
    void Click(QPushButton* b) { QTest::mouseClick(b, Qt::LeftButton); }
    // Clicks STOP in a run once done() holds, checked every 5 ms.
    void StopWhen(std::function<bool()> done) {
        QObject::connect(&stopper, &QTimer::timeout, &w, [this, done] {
            if (!done()) return;
            stopper.stop();
            if (!w.State().CaptureStopped) Click(w.StartButton);
        });
        stopper.start(5);
    }
};
using Window = WindowOn<MemoryWaveApi>;

inline constexpr char kFamily[] =
    "100.0 0.01 -1.0\r\n200.0 0.025 -1.0\r\n100.0 0.004 -2.0\r\n200.0 0.015 -2.0\r\n";

using namespace test;  // ReadWholeFile, WriteWholeFile

inline int CountOf(const RecordingSurface& s, RecordingSurface::Kind kind) {
    return static_cast<int>(s.Calls(kind).size());
}
inline int LinesIn(const RecordingSurface& s, Rgb colour) {
    const auto lines = s.Calls(RecordingSurface::Kind::Line);
    return static_cast<int>(
        std::count_if(lines.begin(), lines.end(), [&](auto& c) { return c.colour == colour; }));
}

// A click on the plot as the window gets it: the plot takes the focus, then the handler runs.
inline void ClickPlot(Base& w, int button, int shift, float x, float y) {
    w.ScopeBox->setFocus();
    w.Scope_MouseDown(button, shift, x, y);
}

// The left (grid 1) amplitude of the stimulus for a grid voltage.
inline int Amplitude1(int volts) { return volts == 0 ? 0 : 325 * volts + 180; }

// The plot position of a voltage and a current at the scale in force.
inline float PlotX(const Base& w, float volts) { return volts * w.State().UnitsPerVolt; }
inline float PlotY(const Base& w, float mA) { return 65536.0f - mA * w.State().UnitsPerMilliamp; }

inline std::string Example(const char* name) {
    return SourceFile("examples/").toStdString() + name;
}

// A field's text replaced with real keys (Backspace for none).
inline void Retype(QLineEdit* field, const char* keys) {
    field->setFocus();
    field->selectAll();
    if (*keys == '\0')
        QTest::keyClick(field, Qt::Key_Backspace);
    else
        QTest::keyClicks(field, keys);
}

// The last message says this.
template <class Wave>
bool Said(const WindowOn<Wave>& t, const std::string& text) {
    return !t.messages.texts.empty() && t.messages.texts.back().find(text) != std::string::npos;
}

// A program folder (and record of the last configuration) of this run's own.
inline void UseOwnProgramFolder(const char* test) {
    QCoreApplication::setApplicationName(
        QString("%1-%2").arg(test).arg(QCoreApplication::applicationPid()));
    QStandardPaths::setTestModeEnabled(true);
}
inline void RemoveProgramFolder() {
    QDir(QString::fromStdString(ProgramDirectory())).removeRecursively();
}

}  // namespace anodix
