// Faults found by feeding the tools hostile input: each case once broke.
#include <QtTest>

#include <QTemporaryDir>

#include <chrono>

#include <sys/stat.h>
#include <unistd.h>

#include "tools/files.h"
#include "tools/ini.h"

using namespace anodix;

class TestToolsRegressions : public QObject {
    Q_OBJECT
private slots:
    // A path naming a device or a pipe where a file is expected (an import slot or a
    // configuration naming /dev/zero or a FIFO) once read without end or blocked in the
    // open: reading modes open plain files only, at once; writing modes are unchanged.
    void readingOpensPlainFilesOnly() {
        QTemporaryDir dir;
        const std::string fifo = dir.filePath("pipe").toStdString();
        QVERIFY(::mkfifo(fifo.c_str(), 0600) == 0);
        const auto start = std::chrono::steady_clock::now();
        for (const char* mode : {"R", "INPUT", "RB"}) {
            for (const std::string& path : {std::string("/dev/zero"), std::string("/dev/urandom"), fifo}) {
                const int n = FileOpenByMode(path, mode, 0);
                if (n != 0) FileCloseRetry(n, 0);
                QVERIFY2(n == 0, (path + " " + mode).c_str());
            }
        }
        QVERIFY(std::chrono::steady_clock::now() - start < std::chrono::seconds(5));
        // The INI reader goes through the same open: a device reads as no file.
        QCOMPARE(ReadIni("/dev/zero", "LAST", "Last"), std::string());

        // A plain file still reads whole, and writing to a device still opens.
        const std::string plain = dir.filePath("plain.tdf").toStdString();
        int n = FileOpenByMode(plain, "W", 0);
        QVERIFY(n != 0 && FileWrite(n, "1 2 3\r\n") && FileCloseRetry(n, 0));
        n = FileOpenByMode(plain, "R", 0);
        std::string bytes;
        QVERIFY(n != 0 && FileReadAll(n, bytes));
        FileCloseRetry(n, 0);
        QCOMPARE(bytes, std::string("1 2 3\r\n"));
        n = FileOpenByMode("/dev/null", "W", 0);
        QVERIFY(n != 0);
        FileCloseRetry(n, 0);
    }
};

QTEST_GUILESS_MAIN(TestToolsRegressions)
#include "test_tools_regressions.moc"
