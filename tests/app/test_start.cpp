// The window started with files named on its command line, and the program's answers
// that need no window.
#include "config/configuration.h"
#include "tools/appdir.h"
#include "window_fixture.h"

using namespace anodix;

namespace {

// A configuration at vdiv volts per division with one family in the third slot.
std::string Configuration(const QTemporaryDir& dir, const QString& name, const std::string& vdiv,
                          const std::string& family) {
    ConfigurationValues v;
    v.Mode = kCookMode;
    v.Ua = vdiv;
    v.Ia = "1";
    v.Pa = "2";
    v.Ld = "10";
    v.VG1 = "50";
    v.VG2 = "0";
    v.Import[2] = family;
    const std::string path = dir.filePath(name).toStdString();
    return SaveConfiguration(path, v) ? path : "";
}

// Slot k as "caption|ticked|path".
QString SlotText(const Base& w, int k) {
    return w.CkImport[k]->text() + "|" + (w.CkImport[k]->isChecked() ? "1" : "0") + "|" + w.SlotPath(k);
}

struct Run {
    int status = -1;
    QString out, err;
};
Run Anodix(const QStringList& args) {
    QProcess p;
    p.start(QCoreApplication::applicationDirPath() + "/../anodix", args);
    if (!p.waitForFinished(30000)) p.kill();
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
}

}  // namespace

class TestStart : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;

private slots:
    void initTestCase() {
        QCoreApplication::setApplicationName(QString("test_start-%1").arg(QCoreApplication::applicationPid()));
        QStandardPaths::setTestModeEnabled(true);
    }
    void cleanupTestCase() { QDir(QString::fromStdString(ProgramDirectory())).removeRecursively(); }

    // Two families fill the first two slots over the named configuration, which stands in
    // for the one saved last; the configuration's own third slot stays.
    void familiesAndConfiguration() {
        const std::string a = WriteWholeFile(dir_.filePath("EL34.tdf").toStdString(), kFamily);
        const std::string b = WriteWholeFile(dir_.filePath("6L6.GC.tdf").toStdString(), kFamily);
        const std::string c = WriteWholeFile(dir_.filePath("third.tdf").toStdString(), kFamily);
        QVERIFY(RecordMostRecent(Configuration(dir_, "last.vyr", "100", "")));
        const std::string named = Configuration(dir_, "named.VYR", "50", c);
        Window t(Window::Unloaded);
        // Relative names are taken from the current folder and kept whole.
        QDir::setCurrent(dir_.path());
        t.w.OpenAtStart({"EL34.tdf", b}, named);
        t.w.Form_Load();
        QCOMPARE(t.w.CbVdiv->currentText(), "50");
        QCOMPARE(SlotText(t.w, 0), "EL34|1|" + QString::fromStdString(a));
        QCOMPARE(SlotText(t.w, 1), "6L6|1|" + QString::fromStdString(b));
        QCOMPARE(SlotText(t.w, 2), "third|1|" + QString::fromStdString(c));
        QCOMPARE(SlotText(t.w, 3), "Import >>|0|");
        QVERIFY(t.messages.texts.empty());
        QCOMPARE(ReadMostRecent(), dir_.filePath("last.vyr").toStdString());
    }

    // A missing family or configuration, or a folder named as a family, is reported as a
    // recall reports it and takes nothing: the next family moves up, the configuration
    // saved last stands.
    void unreadableFiles() {
        const std::string a = WriteWholeFile(dir_.filePath("a.tdf").toStdString(), kFamily);
        QVERIFY(RecordMostRecent(Configuration(dir_, "last.vyr", "100", "")));
        const std::string gone = dir_.filePath("gone.tdf").toStdString(), goneSet = dir_.filePath("gone.vyr").toStdString();
        Window t(Window::Unloaded);
        t.w.OpenAtStart({gone, dir_.path().toStdString(), a}, goneSet);
        t.w.Form_Load();
        QCOMPARE(t.messages.texts, (std::vector<std::string>{"Can't open " + goneSet, "Can't open " + gone,
                                                             "Can't open " + dir_.path().toStdString()}));
        QCOMPARE(t.w.CbVdiv->currentText(), "100");
        QCOMPARE(SlotText(t.w, 0), "a|1|" + QString::fromStdString(a));
        QCOMPARE(SlotText(t.w, 1), "Import >>|0|");
    }

    // The questions are answered without a window (no display is asked for); an unknown
    // option is refused. The program's folder is the user's, writable, never its own.
    void answersWithoutWindow() {
        const Run version = Anodix({"--version", "missing.tdf"});
        QVERIFY2(version.status == 0 && QRegularExpression("^anodix \\d+\\.\\d+\\.\\d+\\n$").match(version.out).hasMatch(),
                 qPrintable(version.out + version.err));
        const Run help = Anodix({"-platform", "none", "--help"});
        QVERIFY(help.status == 0 && help.out.startsWith("Usage: anodix") && help.err.isEmpty());
        const Run bad = Anodix({"-platform", "offscreen", "--fit"});
        QVERIFY2(bad.status == 2 && bad.err.contains("unknown option --fit") && bad.out.isEmpty(), qPrintable(bad.err));
        const QString folder = QString::fromStdString(ProgramDirectory());
        QVERIFY(QFileInfo(folder).isWritable() && !folder.startsWith(QCoreApplication::applicationDirPath() + "/.."));
    }
};

QTEST_MAIN(TestStart)
#include "test_start.moc"
