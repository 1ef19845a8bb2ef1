// Faults found by saving under hostile conditions: each case once broke.
#include <QtTest>

#include <QDir>
#include <QTemporaryDir>

#include <csignal>
#include <fstream>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "config/configuration.h"
#include "tools/ini.h"

using namespace anodix;

namespace {

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

QStringList Entries(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

ConfigurationValues Short() {
    ConfigurationValues v;
    v.Mode = "Cook";
    v.Ia = "1";
    v.Ua = "20";
    v.Pa = "2";
    v.Ld = "5";
    return v;
}

// Saves with files limited to `bytes` (a disk that fills up); the limit is lifted after.
bool SaveLimited(const std::string& path, const ConfigurationValues& v, rlim_t bytes) {
    rlimit old{};
    ::getrlimit(RLIMIT_FSIZE, &old);
    auto* handler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = old;
    limit.rlim_cur = bytes;
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) return true;
    const bool ok = SaveConfiguration(path, v);
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, handler);
    return ok;
}

}  // namespace

class TestConfigRegressions : public QObject {
    Q_OBJECT
private slots:
    // A save that failed after its first keys once left the file with part of the new
    // set-up and part of the old: now the file is replaced whole or not at all.
    void failedSaveLeavesTheFileAsItWas() {
        QTemporaryDir dir;
        const std::string path = dir.filePath("set.vyr").toStdString();
        QVERIFY(SaveConfiguration(path, Short()));
        QVERIFY(::chmod(path.c_str(), 0640) == 0);
        const std::string before = Slurp(path);
        ConfigurationValues longer = Short();
        longer.Pa = "2.345678901234";
        longer.Ld = "12.345678901234";
        longer.Ua = "50.00000000001";
        QVERIFY(!SaveLimited(path, longer, before.size() + 24));
        QCOMPARE(Slurp(path), before);
        QCOMPARE(Entries(dir.path()), QStringList{"set.vyr"});
        // A new file on a full disk is not created at all.
        QVERIFY(!SaveLimited(dir.filePath("new.vyr").toStdString(), longer, 40));
        QCOMPARE(Entries(dir.path()), QStringList{"set.vyr"});

        // With room the save replaces the keys, keeps other keys and the permissions.
        QVERIFY(WriteIni(path, "OTHER", "Kept", "yes"));
        QVERIFY(SaveConfiguration(path, longer));
        QCOMPARE(ReadConfiguration(path).Pa, longer.Pa);
        QCOMPARE(ReadIni(path, "OTHER", "Kept"), std::string("yes"));
        struct stat st {};
        QVERIFY(::stat(path.c_str(), &st) == 0);
        QCOMPARE(int(st.st_mode & 0777), 0640);
        QCOMPARE(Entries(dir.path()), QStringList{"set.vyr"});

        // Saved through a symbolic link: the file it names changes, the link stays.
        const std::string link = dir.filePath("link.vyr").toStdString();
        QVERIFY(::symlink(path.c_str(), link.c_str()) == 0);
        QVERIFY(SaveConfiguration(link, Short()));
        QCOMPARE(ReadConfiguration(path).Pa, std::string("2"));
        struct stat lst {};
        QVERIFY(::lstat(link.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode));
    }
};

QTEST_GUILESS_MAIN(TestConfigRegressions)
#include "test_config_regressions.moc"
