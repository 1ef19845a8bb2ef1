// End to end on a real sound server: a private PulseAudio with two null sinks, the
// program's stimulus played into the first, anodix-adapter (12AU7) recording its monitor
// and answering into the second, whose monitor the window records. One row of a capture
// run, exported as TDF, must follow the tube's model; a run that loses the server keeps
// its curves.
#include "audio/pulsedaemon.h"
#include "audio/pulsewave.h"
#include "curves/family.h"
#include "curves/koren.h"
#include "window_fixture.h"

using namespace anodix;
using namespace anodix::testing;

class TestCaptureAdapter : public QObject {
    Q_OBJECT

    PulseDaemon daemon_;
    QProcess adapter_;
    qint64 adapterPid_ = 0;

private slots:
    void initTestCase() {
        if (!daemon_.Start()) QSKIP(qPrintable("a private PulseAudio server cannot start here: " + daemon_.Why()));
        QProcess pactl;
        pactl.start("pactl", {"load-module", "module-null-sink", "sink_name=anodix_tube", "rate=11025", "channels=2",
                              "format=s16le", "norewinds=1", "sink_properties=device.description=AnodixTube"});
        QVERIFY(pactl.waitForFinished(5000) && pactl.exitCode() == 0);
        adapter_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        DieWithParent(adapter_);
        adapter_.start(ANODIX_ADAPTER, {"--from", "anodix_test.monitor", "--to", "anodix_tube", "--tube", "12AU7"});
        QVERIFY(adapter_.waitForStarted(5000));
        adapterPid_ = adapter_.processId();
        QTest::qWait(300);
        QCOMPARE(adapter_.state(), QProcess::Running);
    }
    void cleanupTestCase() {
        StopChild(adapter_, adapterPid_);
        daemon_.Stop();
    }

    // Grid 1 from 0 to -20 V in 2 V steps, grid 2 at 0: the run is stopped once the first
    // row is complete, and every exported point lies within 1 mA or 5 % of the model.
    void oneRowAgainstTheModel() {
        WindowOn<PulseWaveApi> t(WindowOn<PulseWaveApi>::Capture);
        Base& w = t.w;
        RecordingSurface& plot = t.Record();
        t.PickLater(0, 30, "AnodixTest");
        w.TxVg1->setText("20");
        w.TxVg2->setText("0");
        t.PickLater(0, 30, "Monitor of AnodixTube");
        QTimer stopper;
        QObject::connect(&stopper, &QTimer::timeout, &w, [&] {
            if (w.Captured().RowFamily(0, 350, 20).curves.size() < 11 || w.State().CaptureStopped) return;
            stopper.stop();
            t.Click(w.StartButton);
        });
        stopper.start(5);
        QTimer::singleShot(30000, &w, [&] { w.close(); });  // never a hang
        t.Click(w.StartButton);
        QVERIFY2(t.messages.texts.empty(), t.messages.texts.empty() ? "" : t.messages.texts[0].c_str());
        QVERIFY(w.State().HaveCapture && LinesIn(plot, kCapturedColour) > 0);

        const std::string path = QDir::temp().filePath("anodix-adapter-run.tdf").toStdString();
        t.dialogs.answers = {path};
        t.Click(w.BtExport);
        const Family family = ReadTdfFamily(ReadWholeFile(path));
        QFile::remove(QString::fromStdString(path));
        QCOMPARE(int(family.curves.size()), 11);
        for (const Curve& c : family.curves) {
            QVERIFY(c.points.size() > 20);
            for (const CurvePoint& p : c.points) {
                const double model = Koren12AU7().AnodeCurrent(p.volts, c.grid1) * 1000.0;
                const double err = std::fabs(p.amperes * 1000.0 - model);
                QVERIFY2(err <= std::max(1.0, 0.05 * model),
                         qPrintable(QString("%1 V at %2 V: %3 mA off (measured %4)").arg(p.volts).arg(c.grid1).arg(err).arg(p.amperes * 1000.0)));
            }
        }

        // The sound server killed in the middle of the next run: the run ends by itself with
        // the error text, and its curves stay to be exported.
        t.PickLater(0, 30, "Monitor of AnodixTube");
        QTimer::singleShot(1500, &w, [&] { daemon_.Stop(); });
        t.Click(w.StartButton);
        QVERIFY(!t.messages.texts.empty() && w.State().CaptureStopped && w.State().WaveInHandle == 0);
        QVERIFY(w.State().HaveCapture && w.BtExport->isEnabled() && !w.CapturedTdfText().empty());
        w.close();
    }
};

QTEST_MAIN(TestCaptureAdapter)
#include "test_capture_adapter.moc"
