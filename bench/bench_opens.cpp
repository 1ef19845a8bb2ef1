// How often the window opens its family files: five 32 KB families browsed into the
// slots, an operating point Shift-clicked (the load line's numbers read the first family),
// then 40 more redraws from typing dissipation limits: 41 redraws in all. The opens are
// counted by the system (inotify), not by the program.
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <array>
#include <cstdio>
#include <deque>
#include <fstream>
#include <map>
#include <string>
#include <sys/inotify.h>
#include <unistd.h>

#include "app/base.h"
#include "audio/memorywave.h"
#include "curves/koren.h"
#include "curves/tdf.h"
#include "tools/dialogs.h"

using namespace anodix;

namespace {

struct Answers : FileDialogService {
    std::deque<std::string> paths;
    std::string Run(const FileDialogRequest&) override {
        std::string p = paths.empty() ? "" : paths.front();
        if (!paths.empty()) paths.pop_front();
        return p;
    }
};

std::string Family32k(double gridOffset) {
    const KorenTube tube = Koren12AU7();
    std::string text;
    for (int g = 0; text.size() < 32768; ++g)
        for (int va = 2; va <= 400 && text.size() < 32768; va += 2)
            text += TdfLine(va, tube.AnodeCurrent(va, -g - gridOffset), -g - gridOffset);
    return text;
}

// Opens of each file of the folder since the last call. The closes are watched too: the
// system folds an event into the one before when both are the same, and an open between
// two closes never is.
std::map<std::string, int> Opens(int fd) {
    std::map<std::string, int> opens;
    alignas(inotify_event) char buffer[65536];
    for (;;) {
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got <= 0) return opens;
        for (ssize_t at = 0; at < got;) {
            const auto* e = reinterpret_cast<const inotify_event*>(buffer + at);
            if ((e->mask & IN_OPEN) != 0 && e->len > 0) ++opens[e->name];
            at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QStandardPaths::setTestModeEnabled(true);
    QApplication app(argc, argv);
    const QTemporaryDir dir;
    Answers answers;
    for (int k = 0; k < 5; ++k) {
        const std::string path = dir.filePath(QString("family%1.tdf").arg(k)).toStdString();
        std::ofstream(path, std::ios::binary) << Family32k(k * 0.25);
        answers.paths.push_back(path);
    }
    MemoryWaveApi wave;
    Base w(Services{&wave, &answers, nullptr});
    w.Form_Load();
    w.TxPwr->setText("5");

    const int fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd < 0 ||
        inotify_add_watch(fd, dir.path().toLocal8Bit().constData(), IN_OPEN | IN_CLOSE) < 0) {
        std::puts("bench_opens: inotify unavailable");
        return 1;
    }
    for (int k = 0; k < 5; ++k) w.BtCkBrowse_Click(k);
    const std::map<std::string, int> browse = Opens(fd);
    w.Scope_MouseDown(1, 1, 20000.0f, 40000.0f);
    for (int k = 0; k < 40; ++k) w.TxPwr->setText(QString::number(1 + k % 20));
    const std::map<std::string, int> redraws = Opens(fd);
    close(fd);

    int atBrowse = 0, atRedraws = 0, most = 0;
    for (int k = 0; k < 5; ++k) {
        const std::string name = "family" + std::to_string(k) + ".tdf";
        const int b = browse.count(name) ? browse.at(name) : 0,
                  r = redraws.count(name) ? redraws.at(name) : 0;
        atBrowse += b;
        atRedraws += r;
        most = std::max(most, b + r);
    }
    std::printf(
        "family files opened: %d while browsing five 32 KB families into the slots, %d in 41 "
        "redraws after (one with a load line), at most %d for one file (target: 0 in the "
        "redraws, at most 2 a file)\n",
        atBrowse, atRedraws, most);
    return 0;
}
