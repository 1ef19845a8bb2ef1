// anodix-stage and anodix-match run as processes: their JSON carries the library's numbers
// under the documented keys and units, the pictures and the report are written, and each
// refusal gives its status and message with nothing written.
// The inputs written with designated initializers, their other fields at their defaults.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#include <QtTest>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "stage/families.h"
#include "stage/stage.h"
#include "stage/tubefile.h"
#include "support/files.h"

using namespace anodix;
using namespace anodix::test;

namespace {

ProgramRun Run(const QString& program, const QStringList& args) {
    return RunProgram(BuiltProgram(program), args);
}

QJsonObject Json(const ProgramRun& run) { return QJsonDocument::fromJson(run.out).object(); }

bool Same(double a, double b) { return std::fabs(a - b) <= 1e-9 * std::max(1.0, std::fabs(b)); }

}  // namespace

class TestStageCli : public QObject {
    Q_OBJECT

private slots:
    // The 12AU7 at 300 V, 10 k and 1 k unbypassed, and an EL34 pair: the numbers the
    // library gives, in volts, milliamperes and watts; the stage's, the pair's and the
    // transfer curves' pictures whole files of their type.
    void stageNumbers() {
        const QString au7 = SourceFile("examples/12AU7.tdf");
        const QTemporaryDir dir;
        const ProgramRun run =
            Run("anodix-stage", {au7, "--bplus", "300", "--ra", "10k", "--rk", "1k", "--unbypassed",
                                 "--json", "-o", dir.filePath("stage.png")});
        QVERIFY2(run.status == 0, run.err.constData());
        const StageFields fields{
            .single = {.bPlus = 300.0, .ra = 10e3, .rk = 1e3, .bypassed = false}};
        const SingleEndedResult want =
            ComputeStage(ReadTubeFile(au7.toStdString()).families, {}, fields).single;
        const QJsonObject o = Json(run), op = o["operating_point"].toObject();
        QCOMPARE(o["family"].toString(), QString("12AU7"));
        QVERIFY(Same(op["va_V"].toDouble(), want.va) &&
                Same(op["ia_mA"].toDouble(), want.ia * 1e3) &&
                Same(op["vg_V"].toDouble(), want.vg));
        QVERIFY(Same(o["gain"].toDouble(), want.gain) && Same(o["pout_W"].toDouble(), want.pout) &&
                Same(o["thd_pct"].toDouble(), want.thd));
        const QString el34 = SourceFile("examples/EL34.tdf");
        const ProgramRun pair =
            Run("anodix-stage", {el34, "--bplus", "450", "--ra", "1k", "--pp", "--raa", "3.4k",
                                 "--bias", "20", "-o", dir.filePath("pair.svg")});
        QVERIFY2(pair.status == 0, pair.err.constData());
        QVERIFY(pair.out.startsWith("EL34\nPush-pull class AB: drive 20.0 V peak (full drive)\n"));
        const ProgramRun transfer =
            Run("anodix-stage", {el34, "--view", "transfer", "-o", dir.filePath("transfer.pdf")});
        QVERIFY2(transfer.status == 0, transfer.err.constData());
        // Each type of picture once (the map into SVG from the window: test_stagepanel).
        for (const auto& [file, magic] :
             {std::pair{"stage.png", "\x89PNG"}, {"pair.svg", "<?xml"}, {"transfer.pdf", "%PDF"}})
            QVERIFY2(ReadWholeFile(dir.filePath(file).toStdString()).starts_with(magic), file);
    }

    // The pairs by their files' base names, closest first (EL34_4 the odd one out); the
    // report beside them.
    void matchPairs() {
        const QTemporaryDir dir;
        QStringList args{
            "--rl", "3.4k", "--at", "400,50", "--json", "--report", dir.filePath("match.pdf")};
        int k = 0;  // five EL34s: Kg1 in two close pairs and one apart
        for (double kg1 : {650.0, 720.0, 655.0, 712.0, 600.0})
            args << QString::fromStdString(
                WriteWholeFile(dir.filePath("EL34_%1.tdf").arg(k++).toStdString(),
                               TdfText(ModelFamily(El34(kg1), 0.0, 5.0, 9, 500.0, 10.0))));
        const ProgramRun run = Run("anodix-match", args);
        QVERIFY2(run.status == 0, run.err.constData());
        QCOMPARE(Json(run)["pairs"].toArray(),
                 (QJsonArray{QJsonArray{"EL34_0", "EL34_2"}, QJsonArray{"EL34_1", "EL34_3"}}));
        QCOMPARE(Json(run)["unpaired"].toArray(), QJsonArray{"EL34_4"});
        // The report: a page of numbers, then a page for each pair.
        const std::string pdf = ReadWholeFile(dir.filePath("match.pdf").toStdString());
        std::size_t pages = 0;
        for (std::size_t at = pdf.find("/Type /Page\n"); at != std::string::npos;
             at = pdf.find("/Type /Page\n", at + 1))
            ++pages;
        QVERIFY(pdf.starts_with("%PDF") && pages == 3);
    }

    void refusals_data() {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("said");
        const auto row = [](const char* name, const char* program, const QStringList& args,
                            int status, const char* said) {
            QTest::newRow(name) << QString(program) << args << status << QString(said);
        };
        const QString au7 = SourceFile("examples/12AU7.tdf");
        const QStringList stage{au7, "--bplus", "300", "--ra", "10k"},
            rk = stage + QStringList{"--rk", "1k"};
        row("no supply", "anodix-stage", {au7, "--ra", "10k", "--rk", "1k"}, 2,
            "--bplus is needed");
        row("two biases", "anodix-stage", rk + QStringList{"--bias", "5"}, 2, "not both");
        row("no resistance", "anodix-stage", stage + QStringList{"--rk", "1kk"}, 2,
            "not a resistance");
        row("no such file", "anodix-stage",
            {"DIR/none.tdf", "--bplus", "300", "--ra", "1k", "--rk", "1k"}, 2,
            "can't read DIR/none.tdf");
        row("overdriven", "anodix-stage", rk + QStringList{"--vin", "9"}, 2,
            "above the family's highest curve");
        row("no picture type", "anodix-stage", rk + QStringList{"-o", "DIR/x.bmp"}, 2,
            "does not end in");
        row("picture nowhere", "anodix-stage", rk + QStringList{"-o", "DIR/no/x.png"}, 1,
            "can't write DIR/no/x.png");
        row("one tube", "anodix-match", {au7}, 2, "two tube files");
        row("load without point", "anodix-match", {au7, au7, "--rl", "10k"}, 2, "go together");
        row("report nowhere", "anodix-match", {au7, au7, "--report", "DIR/no/r.pdf"}, 1,
            "can't write");
        row("unknown option", "anodix-match", {au7, au7, "--fast"}, 2, "fast");
    }
    void refusals() {
        QFETCH(QString, program);
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QString, said);
        const QTemporaryDir dir;
        args.replaceInStrings("DIR", dir.path());
        const ProgramRun r = Run(program, args);
        QCOMPARE(r.status, status);
        said.replace("DIR", dir.path());
        QVERIFY2(r.err.startsWith((program + ": ").toUtf8()) && r.err.contains(said.toUtf8()),
                 r.err.constData());
        QVERIFY(QDir(dir.path()).entryList(QDir::Files | QDir::NoDotAndDotDot).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestStageCli)
#include "test_stagecli.moc"
