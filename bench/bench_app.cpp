// Window benchmarks on the offscreen platform:
//   (a) RedrawPlot of the empty plot at 1600 x 1000 pixels;
//   (b) RedrawPlot with five ticked import slots of 32 KB families and a 5 W limit;
//   (c) process start to the first painted frame, and the peak resident memory after
//       start-up and with the five families shown (each in a fresh child process).
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "cputime.h"
#include "app/base.h"
#include "audio/memorywave.h"
#include "curves/koren.h"
#include "curves/tdf.h"
#include "app/scope.h"

extern char** environ;

using namespace anodix;
using namespace anodix::bench;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kPlotWidth = 1600, kPlotHeight = 1000;

double Millis(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

struct Redraw {
    double wall = 0, cpu = 0;  // medians in milliseconds
};

// Peak resident set of this process in MB (VmHWM).
double PeakRssMb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
    return -1.0;
}

// A family of about 32 KB: curves every volt of grid from 0 down, points every 2 V.
std::string Family32k(double gridOffset) {
    const KorenTube tube = Koren12AU7();
    std::string text;
    for (int g = 0; text.size() < 32768; ++g)
        for (int va = 2; va <= 400 && text.size() < 32768; va += 2)
            text += TdfLine(va, tube.AnodeCurrent(va, -g - gridOffset), -g - gridOffset);
    return text;
}

// The window on its own at start-up, plot sized 1600 x 1000.
struct Bench {
    MemoryWaveApi wave;
    Base w{Services{&wave, nullptr, nullptr}};
    void Start() {
        w.Form_Load();
        Size();
    }
    void Size() {
        // Beside the client area: the menu and status bars, the Stage panel's column.
        const int menu = w.height() - w.centralWidget()->height();
        const int column = w.width() - w.centralWidget()->width();
        w.resize(kPlotWidth + 160 + column, kPlotHeight + 20 + menu);
        QCoreApplication::processEvents();
    }
    void LoadFamilies(const QTemporaryDir& dir) {
        w.TxPwr->setText("5");
        w.CbVdiv->setEditText("50");
        w.CbMaDiv->setEditText("5");
        for (int k = 0; k < 5; ++k) {
            const QString path = dir.filePath(QString("family%1.tdf").arg(k));
            std::ofstream(path.toStdString(), std::ios::binary) << Family32k(k * 0.25);
            w.SetSlotPath(k, path);
            w.CkImport[static_cast<std::size_t>(k)]->setChecked(true);
        }
    }
    Redraw MedianRedraw(int runs) {
        std::vector<double> times, cpu;
        for (int i = 0; i < runs; ++i) {
            const auto t0 = Clock::now();
            const double c0 = ThreadMillis();
            w.RedrawPlot();
            (void)w.ScopeBox->image();  // everything drawn, nothing left batched
            cpu.push_back(ThreadMillis() - c0);
            times.push_back(Millis(Clock::now() - t0));
        }
        return {Median(times), Median(cpu)};
    }
};

// Child: start the window, report on stdout once its plot has been painted, then exit.
int FirstFrameChild(bool withFamilies) {
    Bench b;
    QTemporaryDir dir;
    struct PaintWatch : QObject {
        bool seen = false, done = false;
        bool eventFilter(QObject*, QEvent* e) override {
            if (e->type() == QEvent::Paint && !seen) {
                seen = true;
                // Queued: it runs once the paint has finished.
                QTimer::singleShot(0, this, [this] { done = true; });
            }
            return false;
        }
    } watch;
    b.w.ScopeBox->installEventFilter(&watch);
    b.w.Form_Load();
    while (!watch.done) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    std::printf("frame %.1f\n", PeakRssMb());
    std::fflush(stdout);
    if (withFamilies) {
        b.Size();
        b.LoadFamilies(dir);
        b.MedianRedraw(3);
        std::printf("families %.1f\n", PeakRssMb());
    }
    return 0;
}

struct ChildResult {
    double firstFrameMs = -1, rssMb = -1, familiesRssMb = -1;
};

ChildResult RunChild(const char* self, bool withFamilies) {
    ChildResult r;
    int fds[2];
    if (pipe(fds) != 0) return r;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    std::string mode = withFamilies ? "--child-families" : "--child-frame";
    char* argv[] = {const_cast<char*>(self), mode.data(), nullptr};
    pid_t pid = 0;
    const auto t0 = Clock::now();
    const int spawned = posix_spawn(&pid, self, &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (spawned != 0) {
        close(fds[0]);
        return r;
    }
    FILE* out = fdopen(fds[0], "r");
    char line[128];
    while (std::fgets(line, sizeof line, out) != nullptr) {
        double value = 0;
        if (std::sscanf(line, "frame %lf", &value) == 1) {
            r.firstFrameMs = Millis(Clock::now() - t0);
            r.rssMb = value;
        } else if (std::sscanf(line, "families %lf", &value) == 1) {
            r.familiesRssMb = value;
        }
    }
    std::fclose(out);
    int status = 0;
    waitpid(pid, &status, 0);
    return r;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // The program's folder of a benchmark run is a scratch one, never the user's.
    QStandardPaths::setTestModeEnabled(true);
    const bool child = argc > 1 && std::strncmp(argv[1], "--child-", 8) == 0;
    if (child) {
        QApplication app(argc, argv);
        return FirstFrameChild(std::strcmp(argv[1], "--child-families") == 0);
    }

    // --redraw-only: the two redraw figures alone (for profiling).
    const bool redrawOnly = argc > 1 && std::strcmp(argv[1], "--redraw-only") == 0;
    std::vector<double> starts;
    double rss = 0, familiesRss = 0;
    const int launches = redrawOnly ? 0 : 10;
    for (int i = 0; i < launches; ++i) {
        const ChildResult r = RunChild("/proc/self/exe", false);
        if (r.firstFrameMs < 0) {
            std::printf("start-up child failed\n");
            return 1;
        }
        starts.push_back(r.firstFrameMs);
        rss = std::max(rss, r.rssMb);
    }
    if (!redrawOnly) familiesRss = RunChild("/proc/self/exe", true).familiesRssMb;

    QApplication app(argc, argv);
    Bench b;
    b.Start();
    const QSize plot = b.w.ScopeBox->image().size();
    const int runs = 200;
    const Redraw empty = b.MedianRedraw(runs);
    QTemporaryDir dir;
    b.LoadFamilies(dir);
    const Redraw families = b.MedianRedraw(runs);

    std::printf(
        "RedrawPlot, empty plot (2 W limit, 20 V/div, 1 mA/div), %dx%d px: median %.3f ms "
        "elapsed, %.3f ms processor time over %d runs (target < 1 ms)\n",
        plot.width(), plot.height(), empty.wall, empty.cpu, runs);
    std::printf(
        "RedrawPlot, five ticked slots of 32 KB families + 5 W limit, %dx%d px: median "
        "%.3f ms elapsed, %.3f ms processor time over %d runs (target < 8 ms)\n",
        plot.width(), plot.height(), families.wall, families.cpu, runs);
    if (redrawOnly) return 0;
    std::printf(
        "Process start to first painted frame (offscreen): median %.1f ms over %d launches "
        "(target < 250 ms)\n",
        Median(starts), launches);
    std::printf("Peak resident memory after start-up (offscreen): %.1f MB (target < 45 MB)\n", rss);
    std::printf(
        "Peak resident memory with five 32 KB families shown at %dx%d px: %.1f MB "
        "(target < 60 MB)\n",
        kPlotWidth, kPlotHeight, familiesRss);
    return 0;
}
