// File numbers, opening by mode word, retries and byte I/O.
#include <QtTest>

#include <QTemporaryDir>

#include <fstream>

#include "tools/files.h"

using namespace anodix;

namespace {

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Counts the calls of processEvents(): it posts itself an event again each time
// one is delivered.
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
        QVERIFY(FileCloseRetry(2, 10));
        QVERIFY(!FileCloseRetry(2, 10));
        const int append = FileOpenByMode(path, "append", 10);
        QCOMPARE(append, 2);  // the lowest free number again
        QVERIFY(FileWrite(append, "+more"));
        QVERIFY(FileCloseRetry(1, 10) && FileCloseRetry(2, 10) && FileCloseRetry(3, 10));
        QCOMPARE(Slurp(path), std::string("old\r\ncontent+more"));

        int n = FileOpenByMode(path, "WriteBinary", 10);  // not emptied
        QVERIFY(FileWrite(n, "NEW"));
        QVERIFY(FileCloseRetry(n, 10));
        n = FileOpenByMode(path, "rB", 10);
        std::string bytes;
        QVERIFY(FileReadAll(n, bytes));
        QCOMPARE(bytes, std::string("NEW\r\ncontent+more"));
        QCOMPARE(FileLength(n), std::int64_t(17));
        QVERIFY(!FileWrite(n, "x"));  // opened for reading only
        QVERIFY(FileCloseRetry(n, 10));
        n = FileOpenByMode(path, "W", 10);  // emptied
        QCOMPARE(FileLength(n), std::int64_t(0));
        QVERIFY(FileCloseRetry(n, 10));
        QCOMPARE(FileLength(n), std::int64_t(-1));
        QVERIFY(!FileReadAll(n, bytes) && !FileWrite(n, "x"));
        QCOMPARE(FileOpenByMode(path, "nonsense", 10), 0);
        for (const char* mode : {"A", "B", "WB", "binary"}) {
            const std::string created = Path(mode);
            n = FileOpenByMode(created, mode, 10);
            QVERIFY2(n > 0 && FileCloseRetry(n, 10) && FileExists(created), mode);
        }
    }

    void failuresAndRetries() {
        EventCounter counter;
        QElapsedTimer timer;
        timer.start();
        // Reading a missing file fails at once, without yielding.
        for (const char* mode : {"R", "RB", "input", "read", "readbinary"}) {
            QCOMPARE(FileOpenByMode(Path("missing.txt"), mode, 2000), 0);
        }
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
        const int n = FileOpenByMode(Path("after.txt"), "W", 10);
        QCOMPARE(n, 1);
        QVERIFY(FileCloseRetry(n, 10));
    }

    void tickWrap() {
        QCOMPARE(TickMask(0x80000005u), 5u);
        QCOMPARE(TickElapsed(100, 150), 50u);
        QCOMPARE(TickElapsed(0x7FFFFFF0u, 5u), 21u);  // the 31-bit tick wrapped
    }

    void largeFileAndFullDisk() {
        std::string bytes(3 * 1024 * 1024 + 17, '\0');
        for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 131 % 251);
        int n = FileOpenByMode(Path("large.bin"), "W", 10);
        QVERIFY(FileWrite(n, bytes) && FileCloseRetry(n, 10));
        n = FileOpenByMode(Path("large.bin"), "R", 10);
        std::string back;
        QVERIFY(FileReadAll(n, back) && FileCloseRetry(n, 10));
        QVERIFY(back == bytes);
        if (!QFileInfo::exists("/dev/full")) QSKIP("no /dev/full here");
        n = FileOpenByMode("/dev/full", "WB", 0);
        QVERIFY(!FileWrite(n, "does not fit"));
        FileCloseRetry(n, 0);
    }
};

QTEST_GUILESS_MAIN(TestFiles)
#include "test_files.moc"
