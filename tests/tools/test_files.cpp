// File numbers, opening by mode word, retries and byte I/O.
#include <QtTest>

#include <QTemporaryDir>

#include <fstream>
#include <sys/stat.h>

#include "tools/files.h"

using namespace anodix;

namespace {

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void Spit(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

// Counts how often pending events are processed: it posts itself an event and
// posts it again each time it is delivered, so every processEvents() call counts one.
class EventCounter : public QObject {
public:
    int count = 0;
    void Start() { QCoreApplication::postEvent(this, new QEvent(QEvent::User)); }
    bool event(QEvent* e) override {
        if (e->type() != QEvent::User) return QObject::event(e);
        ++count;
        Start();
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
    void numbering() {
        const std::string a = Path("a.txt");
        const int n1 = FileOpenByMode(a, "W", 10);
        const int n2 = FileOpenByMode(Path("b.txt"), "W", 10);
        const int n3 = FileOpenByMode(Path("c.txt"), "W", 10);
        QCOMPARE(n1, 1);
        QCOMPARE(n2, 2);
        QCOMPARE(n3, 3);
        QVERIFY(FileCloseRetry(n2, 10));
        // The lowest free number is taken again.
        QCOMPARE(FileOpenByMode(a, "R", 10), 2);
        QVERIFY(FileCloseRetry(2, 10));
        QVERIFY(FileCloseRetry(n1, 10));
        QVERIFY(FileCloseRetry(n3, 10));
        QVERIFY(!FileCloseRetry(n3, 10));  // no longer open
        QVERIFY(!FileCloseRetry(0, 10));
        QCOMPARE(FileOpenByMode(a, "R", 10), 1);
        QVERIFY(FileCloseRetry(1, 10));
    }

    void modeWords() {
        const std::string path = Path("modes.txt");
        Spit(path, "old\r\ncontent");
        // Lower and mixed case select the same row; unknown words fail.
        QCOMPARE(FileOpenByMode(path, "nonsense", 10), 0);
        QCOMPARE(FileOpenByMode(path, "", 10), 0);
        int n = FileOpenByMode(path, "append", 10);
        QVERIFY(n > 0);
        QVERIFY(FileWrite(n, "+more"));
        QVERIFY(FileCloseRetry(n, 10));
        QCOMPARE(Slurp(path), std::string("old\r\ncontent+more"));
        n = FileOpenByMode(path, "Wb", 10);  // not emptied
        QVERIFY(FileWrite(n, "NEW"));
        QVERIFY(FileCloseRetry(n, 10));
        QCOMPARE(Slurp(path), std::string("NEW\r\ncontent+more"));
        n = FileOpenByMode(path, "rB", 10);
        std::string bytes;
        QVERIFY(FileReadAll(n, bytes));
        QCOMPARE(bytes, std::string("NEW\r\ncontent+more"));
        QCOMPARE(FileLength(n), std::int64_t(17));
        QVERIFY(!FileWrite(n, "x"));  // read-only
        QVERIFY(FileCloseRetry(n, 10));
        n = FileOpenByMode(path, "Output", 10);  // emptied
        QCOMPARE(FileLength(n), std::int64_t(0));
        QVERIFY(FileCloseRetry(n, 10));
        QCOMPARE(Slurp(path), std::string());
        n = FileOpenByMode(path, "BINARY", 10);
        QVERIFY(FileWrite(n, "ab\ncd"));
        QVERIFY(FileReadAll(n, bytes));  // read from the start, bytes as they are
        QCOMPARE(bytes, std::string("ab\ncd"));
        QVERIFY(FileCloseRetry(n, 10));
        QCOMPARE(FileLength(n), std::int64_t(-1));
        QVERIFY(!FileReadAll(n, bytes));
        QVERIFY(!FileWrite(n, "x"));
    }

    void creatingModes() {
        for (const char* mode : {"W", "A", "B", "WB", "write", "append", "binary", "writebinary"}) {
            const std::string path = Path((std::string("new-") + mode).c_str());
            const int n = FileOpenByMode(path, mode, 10);
            QVERIFY2(n > 0, mode);
            QVERIFY(FileCloseRetry(n, 10));
            QVERIFY2(FileExists(path), mode);
        }
    }

    // A missing file fails at once for reading, without yielding to events.
    void missingFileFailsAtOnce() {
        EventCounter counter;
        counter.Start();
        QElapsedTimer timer;
        timer.start();
        for (const char* mode : {"R", "RB", "input", "read", "readbinary"}) {
            QCOMPARE(FileOpenByMode(Path("missing.txt"), mode, 2000), 0);
        }
        QVERIFY(timer.elapsed() < 500);
        QCOMPARE(counter.count, 0);
        QVERIFY(!FileExists(Path("missing.txt")));
    }

    void retries() {
        // A folder that does not exist: every attempt fails.
        const std::string path = Path("no-such-dir/x.txt");
        EventCounter counter;
        counter.Start();
        QCOMPARE(FileOpenByMode(path, "W", 0), 0);
        QCOMPARE(counter.count, 1);  // time-out 0: exactly one attempt

        counter.count = 0;
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(FileOpenByMode(path, "W", 40), 0);
        const qint64 took = timer.elapsed();
        QVERIFY2(took >= 39, qPrintable(QString::number(took)));
        QVERIFY2(took < 1000, qPrintable(QString::number(took)));
        QVERIFY(counter.count > 1);  // retried, yielding between attempts
        // A failed open leaves no number in use.
        const int n = FileOpenByMode(Path("after.txt"), "W", 10);
        QCOMPARE(n, 1);
        QVERIFY(FileCloseRetry(n, 10));
    }

    void tickWrap() {
        QCOMPARE(TickMask(0xFFFFFFFFu), 0x7FFFFFFFu);
        QCOMPARE(TickMask(0x80000005u), 5u);
        QCOMPARE(TickElapsed(100, 150), 50u);
        // The counter wrapped from 0x7FFFFFFF to 0 between start and now.
        QCOMPARE(TickElapsed(0x7FFFFFF0u, 0x00000005u), 21u);
        QVERIFY(TickCount() <= 0x7FFFFFFFu);
    }

    void directories() {
        const std::string folder = dir_.path().toStdString();
        QVERIFY(FileExists(folder));
        QVERIFY(!FileExists(""));
        QCOMPARE(FileOpenByMode(folder, "R", 0), 0);
        QCOMPARE(FileOpenByMode(folder, "W", 0), 0);
    }

    void largeFile() {
        const std::string path = Path("large.bin");
        std::string bytes(3 * 1024 * 1024 + 17, '\0');
        for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 131 % 251);
        int n = FileOpenByMode(path, "W", 10);
        QVERIFY(FileWrite(n, bytes));
        QVERIFY(FileCloseRetry(n, 10));
        n = FileOpenByMode(path, "R", 10);
        std::string back;
        QVERIFY(FileReadAll(n, back));
        QVERIFY(back == bytes);
        QVERIFY(FileCloseRetry(n, 10));
    }

    void fullDisk() {
        if (!QFileInfo::exists("/dev/full")) QSKIP("no /dev/full on this machine");
        const int n = FileOpenByMode("/dev/full", "WB", 0);
        QVERIFY(n > 0);
        QVERIFY(!FileWrite(n, "data that does not fit"));
        FileCloseRetry(n, 0);
    }
};

QTEST_GUILESS_MAIN(TestFiles)
#include "test_files.moc"
