// Fields of delimited text and the parts of a path.
#include <QtTest>

#include <random>

#include "tools/fields.h"

using namespace anodix;

class TestFields : public QObject {
    Q_OBJECT

private slots:
    void getField() {
        const struct { const char* text; int index; const char* delimiter; const char* field; } cases[] = {
            {"1,2,,4", 1, ",", "1"}, {"1,2,,4", 3, ",", ""}, {"1,2,,4", 4, ",", "4"}, {"1,2,,4", 5, ",", ""},
            {"1,2,", 3, ",", ""}, {"abc", 0, ",", ""}, {"abc", -1, ",", ""}, {"", 1, ",", ""},
            {",x", 2, ",", "x"}, {"a\r\nb\nc\r\nd", 2, "\r\n", "b\nc"}, {"aXYbxyc", 2, "XY", "bxyc"},
            {"aaa", 2, "aa", "a"}, {"a,b", 1, "", "a,b"}, {"a,b", 2, "", ""}};
        for (const auto& c : cases) QCOMPARE(GetField(c.text, c.index, c.delimiter), std::string(c.field));
    }

    // The cursor gives, one after the other, what GetField gives for each index.
    void cursorMatchesGetField() {
        std::mt19937 random(7);
        const std::string alphabet = "ab,\r\n ";
        const char* delimiters[] = {",", " ", "\r\n", "ab", ""};
        for (int round = 0; round < 3000; ++round) {
            std::string text(random() % 14, ' ');
            for (char& c : text) c = alphabet[random() % alphabet.size()];
            const std::string delimiter = delimiters[random() % 5];
            FieldCursor cursor(text, delimiter);
            std::string_view field;
            int index = 1;
            for (; cursor.Next(field); ++index) QCOMPARE(std::string(field), GetField(text, index, delimiter));
            QVERIFY(field.empty() && cursor.Rest().empty());
            for (int k = index; k < index + 3; ++k) QCOMPARE(GetField(text, k, delimiter), std::string());
        }
        FieldCursor cursor("one\r\ntwo\r\nthree", "\r\n");
        std::string_view field;
        QVERIFY(cursor.Next(field));
        QCOMPARE(cursor.Rest(), std::string_view("two\r\nthree"));
    }

    void paths() {
        const struct { const char* path; const char* name; const char* folder; } cases[] = {
            {"C:\\data\\curve.tdf", "curve.tdf", "C:\\data"}, {"curve.tdf", "curve.tdf", ""},
            {"a/b\\c", "b\\c", "a"}, {"\\curve.tdf", "curve.tdf", ""}, {"", "", ""},
            {"/home/u/6L6.GC.tdf", "6L6.GC.tdf", "/home/u"}, {"dir/", "", "dir"}};
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
