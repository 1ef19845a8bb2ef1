// Data conversion on the real window: the two dialogs, the remembered folders, the
// messages, and nothing written when a table is refused or a dialog cancelled.
#include <QAction>

#include <sys/stat.h>

#include "tools/appdir.h"
#include "unprivileged.h"
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

    // A cancelled save, a TDF file that cannot be made, then a conversion: the dialogs,
    // the messages, and the folders remembered for the next run.
    void convertsAndRemembersFolders() {
        QTemporaryDir in, out;
        QDir(out.path()).mkdir("sub");
        const std::string table = WriteWholeFile(in.filePath("tubes.txt").toStdString(), kTable);
        // An older, longer file there is replaced as a whole.
        const std::string tdf = WriteWholeFile(out.filePath("sub/tubes.tdf").toStdString(), std::string(300, 'x'));
        const std::string nowhere = out.filePath("no/such/folder/t.tdf").toStdString();
        Window t;
        t.dialogs.answers = {table, "", table, nowhere};
        t.w.ConvertExternalData();  // the save cancelled: nothing said, nothing written
        QVERIFY(t.messages.texts.empty() && t.dialogs.asked.size() == 2);
        QCOMPARE(QDir(in.path()).entryList(QDir::Files), QStringList{"tubes.txt"});
        auto asked = [&](std::size_t i) {
            const FileDialogRequest& r = t.dialogs.asked[i];
            return r.action + "|" + r.title + "|" + r.proposedName + "|" + r.initialDirectory;
        };
        QCOMPARE(asked(0), "Open|Import external data|*.txt|" + ProgramDirectory());
        QCOMPARE(asked(1), "Save|Save TDF|*.tdf|" + ProgramDirectory());
        t.w.ConvertExternalData();
        QCOMPARE(t.messages.texts, std::vector<std::string>{"can't open " + nowhere + ": no such file or directory"});
        QCOMPARE(t.w.State().ConvertOutDir, ProgramDirectory());
        // A file the user may write, in a folder the user cannot write, stays whole: it is
        // never rewritten in place.
        for (const QString& p : {in.path(), out.path()}) QVERIFY(::chmod(p.toLocal8Bit().constData(), 0755) == 0);
        QVERIFY(::chmod(tdf.c_str(), 0666) == 0 && ::chmod(out.filePath("sub").toLocal8Bit().constData(), 0555) == 0);
        {
            Unprivileged user;
            QVERIFY(user.ok);
            t.dialogs.answers = {table, tdf};
            t.w.ConvertExternalData();
        }
        QVERIFY(::chmod(out.filePath("sub").toLocal8Bit().constData(), 0755) == 0);
        QCOMPARE(t.messages.texts.back(), "can't open " + tdf + ": the folder is not writable");
        QCOMPARE(ReadWholeFile(tdf), std::string(300, 'x'));

        t.messages.texts.clear();
        t.dialogs.answers = {table, tdf};
        t.w.MnuConvertion->trigger();  // F12 "Data Convertion ..."
        QVERIFY(t.messages.texts.empty());
        QCOMPARE(ReadWholeFile(tdf), std::string(kTdf));
        QCOMPARE(t.w.State().ConvertInDir + "|" + t.w.State().ConvertOutDir,
                 in.path().toStdString() + "|" + out.filePath("sub").toStdString());
        // The next run opens in the remembered folder; a cancelled open stops it silently.
        t.w.MnuConvertion_Click();
        QCOMPARE(t.dialogs.asked.size(), std::size_t{9});
        QVERIFY(t.dialogs.asked[8].initialDirectory == in.path().toStdString() && t.messages.texts.empty());
    }

    // A table that is missing or refused: one message naming the file and the cause, no
    // save dialog, nothing written; a missing one is not remembered as the folder.
    void refusedTableWritesNothing_data() {
        QTest::addColumn<QByteArray>("table");
        QTest::addColumn<QString>("cause");
        QTest::newRow("missing") << QByteArray() << "Can't open ";
        QTest::newRow("step 0") << QByteArray("1\t1\t0\t4\t0\r\n100\t1\r\n") << "step is 0";
    }
    void refusedTableWritesNothing() {
        QFETCH(QByteArray, table);
        QFETCH(QString, cause);
        QTemporaryDir dir;
        const std::string path = dir.filePath("bad.txt").toStdString(), tdf = dir.filePath("bad.tdf").toStdString();
        if (!table.isNull()) WriteWholeFile(path, table.toStdString());
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
};

QTEST_MAIN(TestConvert)
#include "test_convert.moc"
