// Capture runs that read the input: the in-memory sound card answers the stimulus as an
// adapter with a 12AU7 would, and the window turns the steps into the captured family,
// draws it while the run goes on, exports it, and survives silence and a lost input.
#include "capture/sweep.h"
#include "curves/family.h"
#include "curves/koren.h"
#include "window_fixture.h"

using namespace anodix;

namespace {

constexpr double kPi = 3.14159265358979323846;

// Grid 1 recovered from the stimulus' left amplitude (325 counts per volt and 180 more).
double Grid1(const std::vector<std::int16_t>& playing) {
    const int a1 = playing.size() >= 2 ? std::abs(playing[0]) : 0;
    return a1 == 0 ? 0.0 : -(a1 - 180) / 325.0;
}

double ModelMa(double va, double vg) { return Koren12AU7().AnodeCurrent(va, vg) * 1000.0; }

// The adapter: a 50 Hz half-wave sweep up to 400 V, the tube's current at the grid.
MemoryWaveApi::Adapter Tube() {
    auto frame = std::make_shared<std::uint64_t>(0);
    return [frame](const std::vector<std::int16_t>& playing, std::size_t n,
                   std::vector<std::int16_t>& out) {
        const double vg = Grid1(playing);
        for (std::size_t k = 0; k < n; ++k, ++*frame) {
            const double va =
                std::max(0.0, 400.0 * std::sin(2 * kPi * 50.0 * double(*frame) / 11025.0));
            out.push_back(std::int16_t(std::lround(va * 8192 / kCapturedCalX)));
            out.push_back(std::int16_t(std::lround(ModelMa(va, vg) * 8192 / kCapturedCalY)));
        }
    };
}

// Clicks StartButton again (STOP) once done() holds, checked every few milliseconds.
void StopWhen(Window& r, QTimer& timer, std::function<bool()> done) {
    QObject::connect(&timer, &QTimer::timeout, &r.w, [&r, &timer, done] {
        if (!done()) return;
        timer.stop();
        if (!r.w.State().CaptureStopped) r.Click(r.w.StartButton);
    });
    timer.start(5);
}

}  // namespace

class TestCaptureRun : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    // A pentode scan stopped early in its second row: the family grows on the plot step by
    // step, the list offers both rows with the completed one shown, and the export writes
    // it as TDF that reads back close to the tube's curves.
    void runDrawsAndExports() {
        Window r(Window::Capture);
        r.wave.adapter = Tube();
        r.PickLater();
        r.w.TxVg1->setText("20");
        r.w.TxVg2->setText("30");
        RecordingSurface& plot = r.Record();
        plot.SetScale(kPlotUnits, kPlotUnits);
        int blackAfterThird = -1;  // black lines on the plot once three curves are in
        QTimer timer;
        StopWhen(r, timer, [&] {
            if (blackAfterThird < 0 && r.w.Captured().RowFamily(0, 350, 20).curves.size() == 3)
                blackAfterThird = r.w.BtExport->isEnabled() ? LinesIn(plot, kCapturedColour) : 0;
            return r.w.Captured().RowFamily(3, 350, 20).curves.size() == 2;
        });
        r.PickLater();
        r.Click(r.w.StartButton);
        QVERIFY2(blackAfterThird > 0, "the family is not shown while the run goes on");
        // On a busy machine the in-memory card drops the frames of a late read, as a real one
        // does: the run may then measure a step again, and says so.
        const QString status = r.w.LabelCapture->text();
        QVERIFY2(r.messages.texts.empty() &&
                     (status.isEmpty() || status.contains("measured again", Qt::CaseInsensitive)),
                 qPrintable(status));
        QVERIFY(r.w.CbCapturedRow->count() == 2 && r.w.CbCapturedRow->currentText() == "Ug2 0 V");
        // The last step's curve in counts: voltages ascending, currents rising with them.
        const auto& samples = r.w.State().SampleBuffer;
        QVERIFY(samples[2] > samples[0] && samples[0] > 0 &&
                samples[2 * 40 + 1] > samples[2 * 20 + 1]);

        const std::string path = QDir::temp().filePath("anodix-captured-test.tdf").toStdString();
        r.dialogs.answers = {path};
        r.Click(r.w.BtExport);
        QVERIFY(!r.w.State().HaveCapture && !r.w.BtExport->isEnabled());
        const std::string text = ReadWholeFile(path);
        QFile::remove(QString::fromStdString(path));
        const Family family = ReadTdfFamily(text);
        QVERIFY(text.ends_with("\r\n\r\n") && family.curves.size() == 11 &&
                family.curves[10].grid1 == -20);
        const CurvePoint& top = family.curves[5].points.back();
        QVERIFY(top.volts > 380 && std::fabs(top.amperes * 1000 - ModelMa(top.volts, -10)) < 0.1);

        // The other row, picked by the user.
        r.w.CbCapturedRow->setCurrentIndex(1);
        emit r.w.CbCapturedRow->activated(1);
        QCOMPARE(ReadTdfFamily(r.w.CapturedTdfText()).curves.size(),
                 r.w.Captured().RowFamily(3, 350, 20).curves.size());
    }

    // A silent adapter: no curves, one status text and no message box. Then the input
    // fails in the middle of a run: it ends with the error text and keeps its curves.
    void silenceAndLoss() {
        Window r(Window::Capture);
        r.PickLater();
        r.w.TxVg1->setText("20");
        QTimer timer;
        StopWhen(r, timer, [&] { return r.wave.Writes().size() >= 4; });
        r.PickLater();
        r.Click(r.w.StartButton);
        QVERIFY(!r.w.State().HaveCapture && !r.w.BtExport->isEnabled() && r.messages.texts.empty());
        QVERIFY(r.w.LabelCapture->text().startsWith("No signal"));

        r.wave.adapter = Tube();
        QTimer failer;  // the input fails once the run has traced a few curves
        QObject::connect(&failer, &QTimer::timeout, &r.w, [&] {
            if (r.w.Captured().RowFamily(0, 350, 20).curves.size() < 3) return;
            failer.stop();
            r.wave.FailOn("InRead", kMmNoDriver);
        });
        failer.start(5);
        r.PickLater();
        r.Click(r.w.StartButton);  // returns by itself once the input fails
        QCOMPARE(r.messages.texts, std::vector<std::string>{MemoryWaveApi::ErrorText(kMmNoDriver)});
        QVERIFY(r.w.State().CaptureStopped && r.w.StartButton->text() == "Capture" &&
                r.wave.OpenInputs().empty());
        QVERIFY(r.w.State().HaveCapture && r.w.BtExport->isEnabled() &&
                !r.w.CapturedTdfText().empty());
    }

    // An input that delivers half or twice the frames it should: the run goes on and
    // stops without a message, and keeps curves to export.
    void inputAtTheWrongRate() {
        for (double rate : {11025.0 / 2, 11025.0 * 2}) {
            Window r(Window::Capture);
            r.wave.adapter = Tube();
            r.wave.inputRate = rate;
            r.PickLater();
            r.w.TxVg1->setText("20");
            QTimer timer;
            StopWhen(r, timer,
                     [&] { return r.w.Captured().RowFamily(0, 350, 20).curves.size() >= 3; });
            r.PickLater();
            r.Click(r.w.StartButton);
            QVERIFY2(r.messages.texts.empty() && r.w.State().CaptureStopped,
                     qPrintable(QString::number(rate)));
            QVERIFY(r.w.State().HaveCapture &&
                    ReadTdfFamily(r.w.CapturedTdfText()).curves.size() >= 3);
        }
    }

    // Calibration runs until its button is clicked again, drawing the last input pairs in
    // blue inside the grey frame at the factors 1.0; afterwards the plot's pen and the
    // user's factors apply again. The full-scale fields set the factors, which a
    // configuration saves and Recall brings back.
    void calibrationAndFactors() {
        Window r(Window::Capture);
        r.wave.adapter = Tube();
        r.w.TxCalV->setText("700");
        r.w.TxCalMa->setText("100");
        QVERIFY(r.w.State().CalX == 175.0f && r.w.State().CalY == 25.0f);
        r.PickLater();
        r.w.TxVg1->setText("20");  // the output is open before calibration starts
        RecordingSurface& plot = r.Record();
        plot.SetScale(kPlotUnits, kPlotUnits);
        r.PickLater();
        plot.SetDrawMode(kDrawXor);
        plot.SetDrawWidth(3);
        int blue = 0;
        bool during = false;
        QTimer::singleShot(400, &r.w, [&] {
            blue = LinesIn(plot, RGB(0, 0, 255));
            during = r.w.BtCalib->text() == "OK" && r.w.State().CalibrationMode &&
                     r.w.StartButton->text() == "STOP";
            r.Click(r.w.BtCalib);
        });
        r.Click(r.w.BtCalib);
        QVERIFY2(during && blue >= 3 * 127,
                 qPrintable(QString::number(blue)));  // several refreshes
        QVERIFY(!r.w.State().CalibrationMode && r.w.BtCalib->text() == "Calibration" &&
                r.wave.OpenInputs().empty());
        QVERIFY(plot.DrawMode() == kDrawCopy && plot.DrawWidth() == 1 &&
                r.w.State().CaptureStopped);
        // The frame, and a pair at x = 32768 - current, y = 32768 + voltage.
        const auto lines = plot.Calls(RecordingSurface::Kind::Line);
        const auto grey = std::find_if(lines.begin(), lines.end(),
                                       [](auto& c) { return c.colour == RGB(128, 128, 128); });
        const auto pair = std::find_if(lines.begin(), lines.end(),
                                       [](auto& c) { return c.colour == RGB(0, 0, 255); });
        QVERIFY(grey != lines.end() && grey->x1 == 8192 && grey->y1 == 8192 && grey->width == 5);
        QVERIFY(pair->y2 >= 32768 && pair->y2 <= 32768 + 400 * 8192 / kCapturedCalX + 1 &&
                pair->x2 <= 32768);
        QVERIFY(r.w.State().CalX == 175.0f && r.w.State().CalY == 25.0f &&
                !r.w.State().HaveCapture);

        const std::string path = QDir::temp().filePath("anodix-cal-test.vyr").toStdString();
        r.dialogs.answers = {path, path};
        r.w.Mnu_Export_Pref_Click();
        QVERIFY(ReadWholeFile(path).find("[CAL]\nX=175\nY=25\n") != std::string::npos);
        r.w.TxCalV->setText("1400");
        r.w.TxCalMa->setText("abc");  // not a number: the factor in force stays
        QVERIFY(r.w.State().CalX == 350.0f && r.w.State().CalY == 25.0f);
        r.w.Mnu_Import_Pref_Click();
        QVERIFY(r.w.State().CalX == 175.0f && r.w.TxCalV->text() == "700" &&
                r.w.TxCalMa->text() == "100");
        QFile::remove(QString::fromStdString(path));
    }
};

QTEST_MAIN(TestCaptureRun)
#include "test_capture_run.moc"
