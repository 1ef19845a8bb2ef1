// A whole capture pass on a real sound server: a private PulseAudio with two null sinks,
// anodix-adapter (12AU7) between them, the window offscreen on the PulseAudio layer.
// Measures, over one pass of 121 grid steps (TxVg1 20, TxVg2 100):
//   - frames the input dropped because they were not read in time (overruns);
//   - the program's processor time as a share of one core (the adapter is another process);
//   - the pass's length and the mean step.
// Needs pulseaudio and pactl; prints why when it cannot run.
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <sys/prctl.h>

#include "cputime.h"
#include "app/base.h"
#include "audio/pulsedaemon.h"
#include "audio/pulsewave.h"
#include "tools/dialogs.h"

using namespace anodix;
using namespace anodix::bench;
using Clock = std::chrono::steady_clock;

namespace {

struct NoDialogs : FileDialogService {
    std::string Run(const FileDialogRequest&) override { return {}; }
};
struct Printed : MessageService {
    void Show(const std::string& text, const std::string&, MessageIcon) override {
        std::printf("message: %s\n", text.c_str());
    }
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    testing::PulseDaemon daemon;
    if (!daemon.Start()) {
        std::printf("capture pass: not measured, no private sound server (%s)\n",
                    qPrintable(daemon.Why()));
        return 0;
    }
    QProcess pactl;
    pactl.start("pactl", {"load-module", "module-null-sink", "sink_name=anodix_tube", "rate=11025",
                          "channels=2", "format=s16le", "norewinds=1",
                          "sink_properties=device.description=AnodixTube"});
    pactl.waitForFinished(5000);
    QProcess adapter;
    adapter.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    adapter.start(ANODIX_ADAPTER,
                  {"--from", "anodix_test.monitor", "--to", "anodix_tube", "--tube", "12AU7"});
    adapter.waitForStarted(5000);
    QThread::msleep(300);

    PulseWaveApi wave;
    NoDialogs dialogs;
    Printed messages;
    {
        Base w(Services{&wave, &dialogs, &messages});
        w.resize(1000, 700);
        w.Form_Load();
        w.show();
        w.Mnu_Capture_Click();
        auto pick = [&](const QString& name) {
            QTimer::singleShot(30, &w, [&w, name] {
                const int at = w.DevicesBox->findText(name);
                w.DevicesBox->setCurrentIndex(at);
                emit w.DevicesBox->activated(at);
            });
        };
        pick("AnodixTest");
        w.TxVg1->setText("20");
        w.TxVg2->setText("100");
        pick("Monitor of AnodixTube");
        std::uint64_t overruns = 0;
        int steps = -1;
        double cpu0 = 0;
        Clock::time_point t0;
        std::array<std::int16_t, 20> last{};
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, &w, [&] {
            if (w.State().StimulusBuffer == last) return;
            last = w.State().StimulusBuffer;
            if (++steps == 0) {
                cpu0 = ProcessMillis();
                t0 = Clock::now();
            }
            if (steps == 121) {
                watch.stop();
                wave.InGetOverruns(w.State().WaveInHandle, &overruns);
                const double cpu = ProcessMillis() - cpu0;
                const double wall =
                    std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
                std::printf(
                    "capture pass of 121 steps: %llu frames overrun; program's processor time %.1f "
                    "%% of one "
                    "core (%.0f ms over %.0f ms); mean step %.1f ms (TxVg1 20, TxVg2 100, window "
                    "1000 x 700)\n",
                    static_cast<unsigned long long>(overruns), 100 * cpu / wall, cpu, wall,
                    wall / 121);
                w.StartButton->click();
            }
        });
        watch.start(20);
        QTimer::singleShot(60000, &w, [&] { w.close(); });
        w.StartButton->click();
        w.close();
    }
    ::kill(static_cast<pid_t>(adapter.processId()), SIGTERM);
    adapter.waitForFinished(3000);
    daemon.Stop();
    return 0;
}
