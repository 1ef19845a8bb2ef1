// End to end on a private PulseAudio: the stimulus into one null sink, anodix-adapter
// answering from its monitor through a simulated card into another the window records. Each
// imperfection of the card, and all together, gives a 12AU7 row within 1 mA or 5 % of the model.
#include "audio/pulsedaemon.h"
#include "capture/deviation.h"
#include "audio/pulsewave.h"
#include "window_fixture.h"

using namespace anodix;
using namespace anodix::testing;
using anodix::test::Against;
using anodix::test::Deviation;
using Pulse = WindowOn<PulseWaveApi>;

class TestCaptureAdapter : public QObject {
    Q_OBJECT

    PulseDaemon daemon_;
    QProcess adapter_;
    qint64 adapterPid_ = 0;

    void StartAdapter(const QStringList& options) {
        StopChild(adapter_, adapterPid_);
        adapter_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        DieWithParent(adapter_);
        adapter_.start(
            ANODIX_ADAPTER,
            QStringList{"--from", "anodix_test.monitor", "--to", "anodix_tube"} + options);
        QVERIFY(adapter_.waitForStarted(5000));
        adapterPid_ = adapter_.processId();
        QTest::qWait(300);
        QCOMPARE(adapter_.state(), QProcess::Running);
    }

    // A run, stopped once done() holds or after 90 s (a starved adapter's gaps are measured again).
    void Run(Pulse& t, const std::function<bool()>& done) {
        t.PickLater(0, 30, "Monitor of AnodixTube");
        t.StopWhen(done);
        QTimer::singleShot(90000, &t.w, [&] { t.w.close(); });  // never a hang
        t.Click(t.w.StartButton);
    }

    // The calibration with a resistor in place of the tube: the meter reads 400 V peak.
    void Calibrate(Pulse& t, const QStringList& card) {
        StartAdapter(QStringList{"--load-ohms", "10000"} + card);
        t.w.TxCalPeak->setText("400");
        t.w.TxCalLoad->setText("10000");
        t.PickLater(0, 30, "Monitor of AnodixTube");
        // OK half a second after a reading shows (or after 30 s).
        QTimer ok;
        QObject::connect(&ok, &QTimer::timeout, &t.w, [&] {
            if (!t.w.LabelCapture->text().startsWith("Peak")) return;
            ok.stop();
            QTimer::singleShot(500, &t.w, [&] { t.Click(t.w.BtCalib); });
        });
        ok.start(20);
        QTimer::singleShot(30000, &t.w, [&] {
            if (t.w.State().CalibrationMode) t.Click(t.w.BtCalib);
        });
        t.Click(t.w.BtCalib);
        QVERIFY2(t.w.LabelCapture->text().startsWith("Calibrated"),
                 qPrintable(t.w.LabelCapture->text()));
    }

private slots:
    void initTestCase() {
        if (!daemon_.Start())
            QSKIP(qPrintable("a private PulseAudio server cannot start here: " + daemon_.Why()));
        QProcess pactl;
        pactl.start("pactl", {"load-module", "module-null-sink", "sink_name=anodix_tube",
                              "rate=11025", "channels=2", "format=s16le", "norewinds=1",
                              "sink_properties=device.description=AnodixTube"});
        QVERIFY(pactl.waitForFinished(5000) && pactl.exitCode() == 0);
    }
    void cleanupTestCase() {
        StopChild(adapter_, adapterPid_);
        daemon_.Stop();
    }

    // Grid 1 from 0 to -20 V in 2 V steps, grid 2 at 0: eleven curves against the model.
    void rowAgainstTheModel_data() {
        QTest::addColumn<QStringList>("card");
        QTest::addColumn<bool>("calibrate");
        QTest::newRow("DC-coupled") << QStringList{} << false;
        QTest::newRow("input high-pass 2 Hz") << QStringList{"--in-hz", "2"} << false;
        QTest::newRow("input high-pass 25 Hz") << QStringList{"--in-hz", "25"} << false;
        QTest::newRow("input high-pass 5 and 20 Hz") << QStringList{"--in-hz", "5,20"} << false;
        QTest::newRow("output high-pass 25 Hz") << QStringList{"--out-hz", "25"} << false;
        QTest::newRow("gains and polarity") << QStringList{"--gain=0.7,-1.3"} << true;
        QTest::newRow("skew 2.5 frames") << QStringList{"--skew", "2.5"} << false;
        QTest::newRow("clock 2000 ppm fast") << QStringList{"--rate-ppm", "2000"} << false;
        QTest::newRow("clock 500 ppm slow") << QStringList{"--rate-ppm", "-500"} << false;
        QTest::newRow("latency 250 ms") << QStringList{"--latency-ms", "250"} << false;
        QTest::newRow("hum 10 mV") << QStringList{"--hum-mV", "10"} << false;
        QTest::newRow("dropouts") << QStringList{"--dropout", "2.5,30"} << false;
        QTest::newRow("noise 0.2 mA") << QStringList{"--noise-mA", "0.2"} << false;
        QTest::newRow("all together")
            << QStringList{"--in-hz",    "8,15",     "--out-hz",   "10",        "--gain=0.9,-1.2",
                           "--skew",     "-1.7",     "--rate-ppm", "-300",      "--latency-ms",
                           "60",         "--hum-mV", "5",          "--dropout", "3,20",
                           "--noise-mA", "0.1"}
            << true;
    }
    void rowAgainstTheModel() {
        QFETCH(QStringList, card);
        QFETCH(bool, calibrate);
        Pulse t(Pulse::Capture);
        Base& w = t.w;
        t.PickLater(0, 30, "AnodixTest");
        w.TxVg1->setText("20");
        w.TxVg2->setText("0");
        if (calibrate) Calibrate(t, card);
        StartAdapter(QStringList{"--tube", "12AU7"} + card);
        RecordingSurface& plot = t.Record();
        Run(t, [&] { return w.Captured().RowFamily(0, 350, 20).curves.size() == 11; });
        QVERIFY2(t.messages.texts.empty(),
                 t.messages.texts.empty() ? "" : t.messages.texts[0].c_str());
        QVERIFY2(w.State().HaveCapture && LinesIn(plot, kCapturedColour) > 0,
                 qPrintable(w.LabelCapture->text()));

        const Family row = w.Captured().RowFamily(0, w.State().CalX, w.State().CalY);
        QVERIFY2(row.curves.size() == 11, qPrintable(w.LabelCapture->text()));
        for (const Curve& c : row.curves) QVERIFY(c.points.size() > 20);
        const Deviation d = Against(row, Koren12AU7(), 0);
        qInfo("%s: largest deviation %.3f mA (status \"%s\")", QTest::currentDataTag(), d.worst,
              qPrintable(w.LabelCapture->text()));
        QVERIFY2(d.excess <= 0, qPrintable(d.where));
        w.close();
    }

    // An EL34: rows at Ug2 25 and 50 V follow the pentode's model (at 0 V: the adapter's 250 V).
    void pentodeRows() {
        Pulse t(Pulse::Capture);
        Base& w = t.w;
        t.PickLater(0, 30, "AnodixTest");
        w.TxVg1->setText("50");
        w.TxVg2->setText("250");
        StartAdapter({"--tube", "EL34", "--in-hz", "10"});
        Run(t, [&] { return w.Captured().RowFamily(50, 350, 20).curves.size() == 11; });
        for (const double grid2 : {25.0, 50.0}) {
            const Family row = w.Captured().RowFamily(grid2, w.State().CalX, w.State().CalY);
            QVERIFY2(row.curves.size() == 11, qPrintable(w.LabelCapture->text()));
            const Deviation d = Against(row, KorenEL34(), grid2);
            qInfo("EL34 at Ug2 %.0f V: largest deviation %.3f mA", grid2, d.worst);
            QVERIFY2(d.excess <= 0, qPrintable(d.where));
        }
        w.close();
    }

    // The adapter restarted in a row, 250 ms later from then on: every curve still lies where
    // its label says. The server killed in a run: the run ends with its text, the curves stay.
    void restartedAdapterAndLostServer() {
        Pulse t(Pulse::Capture);
        Base& w = t.w;
        t.PickLater(0, 30, "AnodixTest");
        w.TxVg1->setText("20");
        StartAdapter({"--tube", "12AU7", "--in-hz", "5"});
        QTimer::singleShot(1100, &w, [&] {
            StopChild(adapter_, adapterPid_);
            QTest::qWait(300);
            StartAdapter({"--tube", "12AU7", "--in-hz", "5", "--latency-ms", "250"});
        });
        Run(t, [&] { return w.Captured().RowFamily(0, 350, 20).curves.size() == 11; });
        const Deviation d =
            Against(w.Captured().RowFamily(0, w.State().CalX, w.State().CalY), Koren12AU7(), 0);
        qInfo("adapter restarted: largest deviation %.3f mA (status \"%s\")", d.worst,
              qPrintable(w.LabelCapture->text()));
        QVERIFY2(d.excess <= 0, qPrintable(d.where));
        QVERIFY(!w.LabelCapture->text().isEmpty());

        t.PickLater(0, 30, "Monitor of AnodixTube");
        QTimer killer;
        QObject::connect(&killer, &QTimer::timeout, &w, [&] {
            if (w.Captured().RowFamily(0, 350, 20).curves.size() < 2) return;
            killer.stop();
            daemon_.Stop();
        });
        killer.start(5);
        t.Click(w.StartButton);
        QVERIFY(!t.messages.texts.empty() && w.State().CaptureStopped &&
                w.State().WaveInHandle == 0);
        QVERIFY(w.State().HaveCapture && w.BtExport->isEnabled() && !w.CapturedTdfText().empty());
        w.close();
    }
};

QTEST_MAIN(TestCaptureAdapter)
#include "test_capture_adapter.moc"
