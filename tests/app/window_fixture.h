#pragma once
// The real window with in-memory services: scripted file dialogs, recorded messages,
// the in-memory sound card. Nothing reaches a sound server or a real dialog.
#include <QStandardPaths>
#include <QTest>
#include <algorithm>
#include <deque>

#include "app/base.h"
#include "audio/memorywave.h"
#include "plot/recordingsurface.h"
#include "tools/filedialog.h"

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
    std::vector<std::string> texts, titles;
    void Show(const std::string& text, const std::string& title, MessageIcon) override {
        texts.push_back(text);
        titles.push_back(title);
    }
};

struct Window {
    MemoryWaveApi wave;
    ScriptedDialogs dialogs;
    RecordedMessages messages;
    Base w{Services{&wave, &dialogs, &messages}};
    explicit Window(bool load = true) {
        if (load) w.Form_Load();
    }
};

inline int CountOf(const RecordingSurface& s, RecordingSurface::Kind kind) {
    return static_cast<int>(s.Calls(kind).size());
}

// The plot position of a voltage and a current at the scale in force.
inline float PlotX(const Base& w, float volts) { return volts * w.State().UnitsPerVolt; }
inline float PlotY(const Base& w, float mA) { return 65536.0f - mA * w.State().UnitsPerMilliamp; }

}  // namespace anodix
