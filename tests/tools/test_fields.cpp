// Fields of delimited text and the parts of a path.
#include <QtTest>

#include "tools/fields.h"

using namespace anodix;

class TestFields : public QObject {
    Q_OBJECT

private slots:
    void fields() {
        const struct {
            const char* text;
            const char* delimiter;
            std::vector<const char*> fields;
        } cases[] = {{"1,2,,4", ",", {"1", "2", "", "4"}},
                     {"1,2,", ",", {"1", "2", ""}},
                     {",x", ",", {"", "x"}},
                     {"", ",", {""}},
                     {"a\r\nb\nc\r\n", "\r\n", {"a", "b\nc"}},
                     {"aXYbxyc", "XY", {"a", "bxyc"}},
                     {"aaa", "aa", {"", "a"}},
                     {"a,b", "", {"a,b"}}};
        for (const auto& c : cases)
            for (int i = 0; i <= int(c.fields.size()) + 1; ++i)
                QCOMPARE(GetField(c.text, i, c.delimiter),
                         std::string(i > 0 && i <= int(c.fields.size()) ? c.fields[i - 1] : ""));
    }

    void paths() {
        const struct {
            const char* path;
            const char* name;
            const char* folder;
        } cases[] = {{"C:\\data\\curve.tdf", "curve.tdf", "C:\\data"},
                     {"curve.tdf", "curve.tdf", ""},
                     {"a/b\\c", "b\\c", "a"},
                     {"\\curve.tdf", "curve.tdf", ""},
                     {"dir/", "", "dir"}};
        for (const auto& c : cases) {
            QCOMPARE(GetFileName(c.path), std::string(c.name));
            QCOMPARE(GetPath(c.path), std::string(c.folder));
        }
        QCOMPARE(GetExtension("my.curve.tdf") + "|" + GetExtension("*.tdf") + "|" +
                     GetExtension("readme") + "|" + GetExtension("/a.b/readme"),
                 std::string("curve|tdf||"));
    }
};

QTEST_GUILESS_MAIN(TestFields)
#include "test_fields.moc"
