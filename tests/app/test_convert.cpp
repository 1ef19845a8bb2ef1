// Data conversion on the real window: the two dialogs, the remembered folders, the
// messages, and nothing written when a table is refused or a dialog cancelled.
#include <QAction>

#include "tools/appdir.h"
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

    void convertsAndRemembersFolders() {
        QTemporaryDir in, out;
        QDir(out.path()).mkdir("sub");
        const std::string table = Spit(in.filePath("tubes.txt").toStdString(), kTable);
        const std::string tdf = out.filePath("sub/tubes.tdf").toStdString();
        Spit(tdf, "an older, longer file that is replaced\r\n");
        Window t;
        t.dialogs.answers = {table, tdf};
        t.w.MnuConvertion->trigger();  // F12 "Data Convertion ..."
        QVERIFY(t.messages.texts.empty());
        QCOMPARE(Slurp(tdf), std::string(kTdf));
        QCOMPARE(t.dialogs.asked.size(), std::size_t{2});
        auto asked = [&](std::size_t i) {
            const FileDialogRequest& r = t.dialogs.asked[i];
            return r.action + "|" + r.title + "|" + r.proposedName + "|" + r.initialDirectory;
        };
        QCOMPARE(asked(0), "Open|Import external data|*.txt|" + ProgramDirectory());
        QCOMPARE(asked(1), "Save|Save TDF|*.tdf|" + ProgramDirectory());
        QCOMPARE(t.w.State().ConvertInDir + "|" + t.w.State().ConvertOutDir,
                 in.path().toStdString() + "|" + out.filePath("sub").toStdString());

        // The next run opens both dialogs in the remembered folders; a cancelled open
        // stops it without a message.
        t.w.MnuConvertion_Click();
        QCOMPARE(t.dialogs.asked.size(), std::size_t{3});
        QVERIFY(t.dialogs.asked[2].initialDirectory == in.path().toStdString() && t.messages.texts.empty());
    }

    // A table that is missing or refused: one message naming the file and the cause, no
    // save dialog, nothing written, the remembered folder unchanged.
    void refusedTableWritesNothing_data() {
        QTest::addColumn<QByteArray>("table");
        QTest::addColumn<QString>("cause");
        QTest::newRow("missing") << QByteArray() << "Can't open ";
        QTest::newRow("no header") << QByteArray("\"title only\r\n") << "no header";
        QTest::newRow("step 0") << QByteArray("1\t1\t0\t4\t0\r\n100\t1\r\n") << "step is 0";
        QTest::newRow("falling") << QByteArray("1\t1\t4\t0\t1\r\n100\t1\r\n") << "below the first";
        QTest::newRow("too many") << QByteArray("1\t1\t0\t2000\t1\r\n100\t1\r\n") << "1000";
    }
    void refusedTableWritesNothing() {
        QFETCH(QByteArray, table);
        QFETCH(QString, cause);
        QTemporaryDir dir;
        const std::string path = dir.filePath("bad.txt").toStdString(), tdf = dir.filePath("bad.tdf").toStdString();
        if (!table.isNull()) Spit(path, table.toStdString());
        Window t;
        t.dialogs.answers = {path, tdf};
        t.w.ConvertExternalData();
        QCOMPARE(t.messages.texts.size(), std::size_t{1});
        const std::string& text = t.messages.texts.front();
        QVERIFY2(text.find(path) != std::string::npos && text.find(cause.toStdString()) != std::string::npos, text.c_str());
        QVERIFY(t.messages.titles.front() == "Anodix" && t.dialogs.asked.size() == 1);
        QVERIFY(!QFile::exists(QString::fromStdString(tdf)));
        if (table.isNull()) QCOMPARE(t.w.State().ConvertInDir, ProgramDirectory());
    }

    void saveCancelledOrImpossible() {
        QTemporaryDir dir;
        const std::string table = Spit(dir.filePath("t.txt").toStdString(), kTable);
        Window t;
        t.dialogs.answers = {table, ""};
        t.w.ConvertExternalData();
        QVERIFY(t.messages.texts.empty() && t.dialogs.asked.size() == 2);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"t.txt"});

        // A TDF file that cannot be created: "can't open" and the out folder unchanged.
        const std::string nowhere = dir.filePath("no/such/folder/t.tdf").toStdString();
        t.dialogs.answers = {table, nowhere};
        t.w.ConvertExternalData();
        QCOMPARE(t.messages.texts, std::vector<std::string>{"can't open " + nowhere});
        QCOMPARE(t.w.State().ConvertOutDir + "|" + t.w.State().ConvertInDir, ProgramDirectory() + "|" + dir.path().toStdString());
    }
};

QTEST_MAIN(TestConvert)
#include "test_convert.moc"
