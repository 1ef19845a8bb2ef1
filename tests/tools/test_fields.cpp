// Fields of delimited text and the parts of a path.
#include <QtTest>

#include "tools/fields.h"

using namespace anodix;

class TestFields : public QObject {
    Q_OBJECT

private slots:
    // GetField by index, and the cursor that walks the same fields in one pass.
    void fields() {
        const struct { const char* text; const char* delimiter; std::vector<const char*> fields; } cases[] = {
            {"1,2,,4", ",", {"1", "2", "", "4"}}, {"1,2,", ",", {"1", "2"}}, {",x", ",", {"", "x"}},
            {"", ",", {""}}, {"a\r\nb\nc\r\n", "\r\n", {"a", "b\nc"}}, {"aXYbxyc", "XY", {"a", "bxyc"}},
            {"aaa", "aa", {"", "a"}}, {"a,b", "", {"a,b"}}};
        for (const auto& c : cases) {
            FieldCursor cursor(c.text, c.delimiter);
            std::string_view field;
            for (int i = 0; i <= int(c.fields.size()) + 1; ++i) {
                const bool inside = i > 0 && i <= int(c.fields.size());
                QCOMPARE(GetField(c.text, i, c.delimiter), std::string(inside ? c.fields[i - 1] : ""));
                if (i > 0) QCOMPARE(cursor.Next(field) ? std::string(field) : std::string("(end)"),
                                    std::string(inside ? c.fields[i - 1] : "(end)"));
            }
        }
        FieldCursor cursor("one\r\ntwo\r\nthree", "\r\n");
        std::string_view field;
        QVERIFY(cursor.Next(field) && cursor.Rest() == "two\r\nthree");
    }

    void paths() {
        const struct { const char* path; const char* name; const char* folder; } cases[] = {
            {"C:\\data\\curve.tdf", "curve.tdf", "C:\\data"}, {"curve.tdf", "curve.tdf", ""},
            {"a/b\\c", "b\\c", "a"}, {"\\curve.tdf", "curve.tdf", ""}, {"dir/", "", "dir"}};
        for (const auto& c : cases) {
            QCOMPARE(GetFileName(c.path), std::string(c.name));
            QCOMPARE(GetPath(c.path), std::string(c.folder));
        }
        QCOMPARE(GetExtension("my.curve.tdf") + "|" + GetExtension("*.tdf") + "|" + GetExtension("readme") + "|" +
                     GetExtension("/a.b/readme"),
                 std::string("curve|tdf||"));
    }
};

QTEST_GUILESS_MAIN(TestFields)
#include "test_fields.moc"
