// File numbers, opening by mode word, retries and byte I/O.
#include <QtTest>

#include <QTemporaryDir>

#include <chrono>

#include <sys/stat.h>

#include "tools/files.h"
#include "tools/ini.h"

using namespace anodix;

namespace {

std::string ReadBack(int n) {
    std::string bytes;
    if (!FileReadAll(n, bytes)) bytes = "(unreadable)";
    FileCloseRetry(n, 0);
    return bytes;
}

// Counts the calls of processEvents(): it posts itself an event again each time one is delivered.
class EventCounter : public QObject {
public:
    int count = 0;
    EventCounter() { QCoreApplication::postEvent(this, new QEvent(QEvent::User)); }
    bool event(QEvent* e) override {
        if (e->type() != QEvent::User) return QObject::event(e);
        ++count;
        QCoreApplication::postEvent(this, new QEvent(QEvent::User));
        return true;
    }
};

}  // namespace

class TestFiles : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    std::string Path(const char* name) { return (dir_.path() + "/" + name).toStdString(); }

private slots:
    void numberingAndModes() {
        const std::string path = Path("a.txt");
        QCOMPARE(FileOpenByMode(path, "Output", 10), 1);
        QCOMPARE(FileOpenByMode(Path("b.txt"), "w", 10), 2);
        QCOMPARE(FileOpenByMode(Path("c.txt"), "wb", 10), 3);
        QVERIFY(FileWrite(1, "old\r\ncontent"));
        QVERIFY(FileCloseRetry(2, 10) && !FileCloseRetry(2, 10));
        QCOMPARE(FileOpenByMode(path, "append", 10), 2);  // the lowest free number again
        QVERIFY(FileWrite(2, "+more"));
        QVERIFY(FileCloseRetry(1, 10) && FileCloseRetry(2, 10) && FileCloseRetry(3, 10));

        int n = FileOpenByMode(path, "WriteBinary", 10);  // not emptied
        QVERIFY(FileWrite(n, "NEW") && FileCloseRetry(n, 10));
        n = FileOpenByMode(path, "rB", 10);
        QCOMPARE(FileLength(n), std::int64_t(17));
        QVERIFY(!FileWrite(n, "x"));  // opened for reading only
        QCOMPARE(ReadBack(n), std::string("NEW\r\ncontent+more"));
        n = FileOpenByMode(path, "W", 10);  // emptied
        QCOMPARE(FileLength(n), std::int64_t(0));
        QVERIFY(FileCloseRetry(n, 10));
        std::string bytes;
        QVERIFY(FileLength(n) == -1 && !FileReadAll(n, bytes) && !FileWrite(n, "x"));
        QCOMPARE(FileOpenByMode(path, "nonsense", 10), 0);
        for (const char* mode : {"A", "B", "WB", "binary"}) {
            n = FileOpenByMode(Path(mode), mode, 10);
            QVERIFY2(n > 0 && FileCloseRetry(n, 10) && FileExists(Path(mode)), mode);
        }
    }

    void failuresAndRetries() {
        EventCounter counter;
        QElapsedTimer timer;
        timer.start();
        // Reading a missing file fails at once, without yielding.
        for (const char* mode : {"R", "RB", "input", "read", "readbinary"})
            QCOMPARE(FileOpenByMode(Path("missing.txt"), mode, 2000), 0);
        QVERIFY(timer.elapsed() < 500);
        QCOMPARE(counter.count, 0);
        QVERIFY(!FileExists(Path("missing.txt")) && !FileExists(""));

        const std::string unwritable = Path("no-such-dir/x.txt");
        QCOMPARE(FileOpenByMode(unwritable, "W", 0), 0);
        QCOMPARE(counter.count, 1);  // time-out 0: one attempt
        counter.count = 0;
        timer.restart();
        QCOMPARE(FileOpenByMode(unwritable, "W", 40), 0);
        QVERIFY(timer.elapsed() >= 39 && timer.elapsed() < 1000);
        QVERIFY(counter.count > 1);  // retried, yielding between attempts
        // Folders are not files; a failed open leaves no number in use.
        QCOMPARE(FileOpenByMode(dir_.path().toStdString(), "R", 0), 0);
        QCOMPARE(FileOpenByMode(Path("after.txt"), "W", 10), 1);
        QVERIFY(FileCloseRetry(1, 10));
    }

    // A device or a pipe named where a file is expected once read without end or blocked
    // in the open: reading opens plain files only, at once; writing still opens a device.
    void readingOpensPlainFilesOnly() {
        const std::string fifo = Path("pipe");
        QVERIFY(::mkfifo(fifo.c_str(), 0600) == 0);
        const auto start = std::chrono::steady_clock::now();
        for (const char* mode : {"R", "INPUT", "RB"})
            for (const std::string& path : {std::string("/dev/zero"), std::string("/dev/urandom"), fifo}) {
                const int n = FileOpenByMode(path, mode, 0);
                if (n != 0) FileCloseRetry(n, 0);
                QVERIFY2(n == 0, (path + " " + mode).c_str());
            }
        QVERIFY(std::chrono::steady_clock::now() - start < std::chrono::seconds(5));
        QCOMPARE(ReadIni("/dev/zero", "LAST", "Last"), std::string());  // the INI reader too
        const int n = FileOpenByMode("/dev/null", "W", 0);
        QVERIFY(n != 0 && FileCloseRetry(n, 0));
    }

    void tickWrap() {
        QCOMPARE(TickMask(0x80000005u), 5u);
        QCOMPARE(TickElapsed(100, 150), 50u);
        QCOMPARE(TickElapsed(0x7FFFFFF0u, 5u), 21u);  // the 31-bit tick wrapped
    }

    void largeFileAndFullDisk() {
        std::string bytes(3 * 1024 * 1024 + 17, '\0');
        for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 131 % 251);
        const int n = FileOpenByMode(Path("large.bin"), "W", 10);
        QVERIFY(FileWrite(n, bytes) && FileCloseRetry(n, 10));
        QVERIFY(ReadBack(FileOpenByMode(Path("large.bin"), "R", 10)) == bytes);
        if (!QFileInfo::exists("/dev/full")) QSKIP("no /dev/full here");
        const int full = FileOpenByMode("/dev/full", "WB", 0);
        QVERIFY(!FileWrite(full, "does not fit"));
        FileCloseRetry(full, 0);
    }
};

QTEST_GUILESS_MAIN(TestFiles)
#include "test_files.moc"
