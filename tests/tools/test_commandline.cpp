// The window's command line read into families, a configuration, the files left out,
// or an answer without a window.
#include <QtTest>

#include "tools/commandline.h"

using namespace anodix;
using Action = WindowCommandLine::Action;
using Names = std::vector<std::string>;

class TestCommandLine : public QObject {
    Q_OBJECT
private slots:
    void files() {
        // Families in order up to five; the first configuration only, in any case.
        WindowCommandLine l =
            ReadWindowCommandLine({"1.tdf", "a.VYR", "2", "3.tdf", "b.vyr", "4.tdf", "5.tdf", "6.tdf", ""});
        QVERIFY(l.action == Action::Open);
        QCOMPARE(l.families, (Names{"1.tdf", "2", "3.tdf", "4.tdf", "5.tdf"}));
        QCOMPARE(l.configuration, "a.VYR");
        QCOMPARE(l.leftOut, (Names{"b.vyr", "6.tdf"}));
        // After "--" everything is a file, the questions and "--" itself included.
        l = ReadWindowCommandLine({"--", "-x.tdf", "--version", "--", ".vyr"});
        QVERIFY(l.action == Action::Open);
        QCOMPARE(l.families, (Names{"-x.tdf", "--version", "--"}));
        QCOMPARE(l.configuration, ".vyr");
        QVERIFY(ReadWindowCommandLine({}).families.empty());
    }

    void questionsAndRefusals() {
        QVERIFY(ReadWindowCommandLine({"a.tdf", "--version"}).action == Action::Version);
        QVERIFY(ReadWindowCommandLine({"--bad", "--version", "-h"}).action == Action::Help);
        QVERIFY(ReadWindowCommandLine({"a.tdf", "--", "--help"}).action == Action::Open);
        for (const char* arg : {"-", "-v", "--helpme"}) {
            const WindowCommandLine l = ReadWindowCommandLine({"a.tdf", arg});
            QVERIFY(l.action == Action::Refuse && l.error == std::string("unknown option ") + arg);
        }
    }
};

QTEST_MAIN(TestCommandLine)
#include "test_commandline.moc"
