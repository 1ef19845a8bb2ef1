// File numbers, opening by mode word, retries and byte I/O.
#include <QtTest>

#include <QTemporaryDir>

#include <sys/stat.h>

#include "support/files.h"
#include "tools/files.h"
#include "tools/ini.h"

using namespace anodix;
using namespace anodix::test;

class TestFiles : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    std::string Path(const char* name) { return (dir_.path() + "/" + name).toStdString(); }

private slots:
    void numbersAndModes() {
        const std::string a = Path("a.txt");
        WriteWholeFile(a, "old\r\ncontent");
        // The lowest free number from 1 upward; the mode word in any letter case.
        QCOMPARE(FileOpenByMode(a, "Append", 10), 1);
        QCOMPARE(FileOpenByMode(Path("b.txt"), "a", 10), 2);
        QCOMPARE(FileOpenByMode(Path("c.txt"), "writeBinary", 10), 3);
        QVERIFY(FileCloseRetry(2, 10) && !FileCloseRetry(2, 10));
        QCOMPARE(FileOpenByMode(Path("d.txt"), "b", 10), 2);
        QVERIFY(FileWrite(1, "+more") && FileCloseRetry(1, 10) && FileCloseRetry(2, 10) &&
                FileCloseRetry(3, 10));
        for (const char* made : {"b.txt", "c.txt", "d.txt"}) QVERIFY2(FileExists(Path(made)), made);
        QCOMPARE(ReadWholeFile(a), std::string("old\r\ncontent+more"));  // bytes as they are

        int n = FileOpenByMode(a, "WB", 10);  // not emptied
        QVERIFY(FileWrite(n, "NEW") && FileCloseRetry(n, 10));
        QCOMPARE(ReadWholeFile(a), std::string("NEW\r\ncontent+more"));
        n = FileOpenByMode(a, "rB", 10);
        std::string bytes;
        QVERIFY(FileLength(n) == 17 && FileReadAll(n, bytes) && !FileWrite(n, "x"));  // read only
        QVERIFY(bytes == ReadWholeFile(a) && FileCloseRetry(n, 10));
        QVERIFY(FileLength(n) == -1 && !FileReadAll(n, bytes) && !FileWrite(n, "x"));  // closed
        n = FileOpenByMode(a, "Output", 10);                                           // emptied
        QVERIFY(FileCloseRetry(n, 10) && ReadWholeFile(a).empty());
        QCOMPARE(FileOpenByMode(a, "nonsense", 10), 0);
    }

    void failuresAndRetries() {
        int yields = 0;  // a zero timer fires once in every processEvents()
        QTimer ticker;
        QObject::connect(&ticker, &QTimer::timeout, [&] { ++yields; });
        ticker.start(0);
        // Reading a missing file fails at once, without a retry.
        for (const char* mode : {"R", "RB", "input"})
            QCOMPARE(FileOpenByMode(Path("missing"), mode, 2000), 0);
        QVERIFY(yields == 0 && !FileExists(""));
        const std::string unwritable = Path("no-such-dir/x.txt");
        QCOMPARE(FileOpenByMode(unwritable, "W", 0), 0);
        QCOMPARE(yields, 1);  // time-out 0: one attempt
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(FileOpenByMode(unwritable, "W", 40), 0);
        QVERIFY(timer.elapsed() >= 39 && yields > 2);  // retried, yielding between attempts

        // Reading opens plain files only: a folder, a device read without end, a pipe
        // that would block the window in the open. Writing still opens a device.
        QVERIFY(::mkfifo(Path("pipe").c_str(), 0600) == 0);
        for (const std::string& path :
             {dir_.path().toStdString(), std::string("/dev/zero"), Path("pipe")})
            for (const char* mode : {"R", "RB"})
                QVERIFY2(FileOpenByMode(path, mode, 0) == 0, (path + mode).c_str());
        QCOMPARE(ReadIni("/dev/zero", "LAST", "Last"), std::string());
        const int n = FileOpenByMode("/dev/null", "W", 0);
        QVERIFY(n == 1 && FileCloseRetry(n, 0));  // no failed open kept a number
    }

    void tickWrap() {
        QCOMPARE(TickElapsed(0x7FFFFFF0u, 5u), 21u);  // the 31-bit tick wrapped
    }

    // Bytes beyond one read or write of the layer.
    void largeFile() {
        std::string bytes(3 * 1024 * 1024 + 17, '\0'), back;
        for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 131 % 251);
        int n = FileOpenByMode(Path("large.bin"), "W", 10);
        QVERIFY(FileWrite(n, bytes) && FileCloseRetry(n, 10) &&
                ReadWholeFile(Path("large.bin")) == bytes);
        n = FileOpenByMode(Path("large.bin"), "R", 10);
        QVERIFY(FileReadAll(n, back) && FileCloseRetry(n, 10) && back == bytes);
    }
};

QTEST_GUILESS_MAIN(TestFiles)
#include "test_files.moc"
