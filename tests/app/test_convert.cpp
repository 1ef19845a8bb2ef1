// Data conversion: the dialogs, the remembered folders, messages, nothing written if refused.
#include "window_fixture.h"

using namespace anodix;

namespace {

const char kTable[] =
    "\"Va\tIa\r\n"
    "1\t0.001\t0\t4\t-2\r\n"
    "50\t12.5\t3.1\r\n"
    "100\t30\t12\t1.5\r\n";
const char kTdf[] =
    "50.0 0.0125 .0\r\n100.0 0.03 .0\r\n50.0 0.0031 -2.0\r\n100.0 0.012 -2.0\r\n"
    "100.0 0.0015 -4.0\r\n";

}  // namespace

class TestConvert : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    // Runs in turn: open cancelled; a table missing, one refused (no save dialog); save
    // cancelled; a TDF that cannot be made; one over a longer file; the folders remembered.
    void convertsAndRemembersFolders() {
        QTemporaryDir in, out;
        const std::string table = WriteWholeFile(in.filePath("tubes.txt").toStdString(), kTable);
        const std::string refused =
            WriteWholeFile(in.filePath("step0.txt").toStdString(), "1\t1\t0\t4\t0\r\n100\t1\r\n");
        const std::string tdf =
            WriteWholeFile(out.filePath("tubes.tdf").toStdString(), std::string(300, 'x'));
        const std::string gone = out.filePath("gone.txt").toStdString(),
                          nowhere = out.filePath("no/such/t.tdf").toStdString();
        Window t;
        t.dialogs.answers = {"", gone, refused, table, "", table, nowhere, table, tdf, table, ""};
        for (int run = 0; run < 7; ++run) t.w.MnuConvertion->trigger();
        QCOMPARE(t.messages.texts,
                 (std::vector<std::string>{
                     "Can't open " + gone, "Can't convert " + refused + ": the grid step is 0",
                     "can't open " + nowhere + ": no such file or directory"}));
        QCOMPARE(t.dialogs.asked.size(), std::size_t{11});
        // The folders of the last table opened and file saved are remembered, failed ones not.
        std::string folders;
        for (std::size_t k : {2, 8, 9, 10}) folders += t.dialogs.asked[k].initialDirectory + "|";
        QCOMPARE(folders, ProgramDirectory() + "|" + ProgramDirectory() + "|" +
                              in.path().toStdString() + "|" + out.path().toStdString() + "|");
        QCOMPARE(ReadWholeFile(tdf), std::string(kTdf));
        QCOMPARE(QDir(out.path()).entryList(QDir::Files), QStringList{"tubes.tdf"});
    }

    // Another tracer's file: a TDF per screen voltage beside the name chosen; a file without
    // curves is refused with the line, nothing asked or written.
    void convertsTracerFiles() {
        QTemporaryDir in, out;
        const std::string data = SourceFile("tests/curves/data/").toStdString();
        const std::string utmax = WriteWholeFile(in.filePath("el34.txt").toStdString(),
                                                 ReadWholeFile(data + "el34_utmax.txt"));
        const std::string notes =
            WriteWholeFile(in.filePath("notes.txt").toStdString(), "Shopping list\n");
        Window t;
        t.dialogs.answers = {notes, utmax, out.filePath("EL34.tdf").toStdString()};
        for (int run = 0; run < 2; ++run) t.w.MnuConvertion->trigger();
        QVERIFY(t.messages.texts.size() == 1 && Said(t, "Can't read " + notes + ": line 1: "));
        QCOMPARE(t.dialogs.asked.size(), std::size_t{3});
        QCOMPARE(QDir(out.path()).entryList(QDir::Files),
                 (QStringList{"EL34_triode.tdf", "EL34_Ug2-250.tdf", "EL34_Ug2-300.tdf"}));
    }
};

QTEST_MAIN(TestConvert)
#include "test_convert.moc"
