// The window started with files named on its command line, and the answers without a window.
#include "config/configuration.h"
#include "tools/commandline.h"
#include "window_fixture.h"

using namespace anodix;

class TestStart : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    // A configuration at vdiv volts per division with family in the third slot.
    std::string Configuration(const QString& name, const std::string& vdiv,
                              const std::string& family = "") {
        ConfigurationValues v{
            kCookMode, 0, 0,  0,  0,  "1", vdiv, "2", "10", -1, -1, "50", "0", {"", "", family},
            0,         0, "", "", "", "",  "",   "",  "",   "", "", "1",  "0", {}};
        const std::string path = dir_.filePath(name).toStdString();
        return SaveConfiguration(path, v) ? path : "";
    }
    std::string Family(const QString& name) {
        return WriteWholeFile(dir_.filePath(name).toStdString(), kFamily);
    }
    static QString Slot(const Base& w, int k) {  // "caption|ticked|path"
        return w.CkImport[k]->text() + (w.CkImport[k]->isChecked() ? "|1|" : "|0|") + w.SlotPath(k);
    }

private slots:
    void initTestCase() {
        UseOwnProgramFolder("test_start");
        QVERIFY(RecordMostRecent(Configuration("last.vyr", "100")));
    }
    void cleanupTestCase() { RemoveProgramFolder(); }

    // Five families at most, the first configuration; "--" ends the options; the questions win.
    void commandLine() {
        using Names = std::vector<std::string>;
        const WindowCommandLine l =
            ReadWindowCommandLine({"1", "a.VYR", "2", "3", "b.vyr", "4", "5", "6", "--", "-7"});
        QVERIFY(l.action == WindowCommandLine::Action::Open && l.configuration == "a.VYR");
        QVERIFY(l.families == (Names{"1", "2", "3", "4", "5"}) &&
                l.leftOut == (Names{"b.vyr", "6", "-7"}));
        QVERIFY(ReadWindowCommandLine({"--bad", "--version", "-h"}).action ==
                WindowCommandLine::Action::Help);
        QCOMPARE(ReadWindowCommandLine({"a", "-", "--version"}).action,
                 WindowCommandLine::Action::Version);
    }

    // Two families (one relative) go into the first slots over the named configuration.
    void familiesAndConfiguration() {
        const std::string a = Family("EL34.tdf"), b = Family("6L6.GC.tdf");
        const std::string named = Configuration("named.VYR", "50", Family("third.tdf"));
        Window t(Window::Unloaded);
        QDir::setCurrent(dir_.path());
        t.w.OpenAtStart({"EL34.tdf", b}, named);
        t.w.Form_Load();
        QCOMPARE(t.w.CbVdiv->currentText(), "50");
        QCOMPARE(QStringList({Slot(t.w, 0), Slot(t.w, 1), Slot(t.w, 2), Slot(t.w, 3)}),
                 QStringList({"EL34|1|" + QString::fromStdString(a),
                              "6L6|1|" + QString::fromStdString(b),
                              "third|1|" + dir_.filePath("third.tdf"), "Import >>|0|"}));
        QVERIFY(t.messages.texts.empty() &&
                ReadMostRecent() == dir_.filePath("last.vyr").toStdString());
    }

    // A missing file or a folder is reported and takes nothing; the last configuration stands.
    void unreadableFiles() {
        const std::string a = Family("a.tdf"), gone = dir_.filePath("gone.tdf").toStdString(),
                          folder = dir_.path().toStdString();
        const std::string goneSet = dir_.filePath("gone.vyr").toStdString();
        Window t(Window::Unloaded);
        t.w.OpenAtStart({gone, folder, a}, goneSet);
        t.w.Form_Load();
        QCOMPARE(t.messages.texts,
                 (std::vector<std::string>{"Can't open " + goneSet, "Can't open " + gone,
                                           "Can't open " + folder}));
        QVERIFY(t.w.CbVdiv->currentText() == "100" &&
                Slot(t.w, 0) == "a|1|" + QString::fromStdString(a) &&
                !t.w.CkImport[1]->isChecked());
    }

    // The questions need no display, an unknown option is refused; the program's folder is the
    // user's.
    void withoutWindow() {
        auto run = [](const QStringList& args) {
            const ProgramRun r = RunProgram(BuiltProgram("anodix"), args);
            return QString::number(r.status) + "|" + r.out + "|" + r.err;
        };
        QVERIFY(QRegularExpression("^0\\|anodix \\d+\\.\\d+\\.\\d+\\n\\|$")
                    .match(run({"-platform", "none", "--version", "x.tdf"}))
                    .hasMatch());
        const QString refused = run({"--fit"});
        QVERIFY2(refused.startsWith("2||") && refused.contains("anodix: unknown option --fit\n"),
                 qPrintable(refused));
        const QString folder = QString::fromStdString(ProgramDirectory());
        QVERIFY(QFileInfo(folder).isWritable() &&
                !folder.startsWith(QCoreApplication::applicationDirPath() + "/.."));
    }
};

QTEST_MAIN(TestStart)
#include "test_start.moc"
