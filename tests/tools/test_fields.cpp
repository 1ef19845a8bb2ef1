// Fields of delimited text and the parts of a path.
#include <QtTest>

#include <random>

#include "tools/fields.h"

using namespace anodix;

class TestFields : public QObject {
    Q_OBJECT

private slots:
    void getField() {
        QCOMPARE(GetField("1,2,,4", 1, ","), std::string("1"));
        QCOMPARE(GetField("1,2,,4", 2, ","), std::string("2"));
        QCOMPARE(GetField("1,2,,4", 3, ","), std::string(""));
        QCOMPARE(GetField("1,2,,4", 4, ","), std::string("4"));
        QCOMPARE(GetField("1,2,,4", 5, ","), std::string(""));
        QCOMPARE(GetField("1,2,", 3, ","), std::string(""));
        QCOMPARE(GetField("1,2,", 2, ","), std::string("2"));
        QCOMPARE(GetField("abc", 0, ","), std::string(""));
        QCOMPARE(GetField("abc", -1, ","), std::string(""));
        QCOMPARE(GetField("abc", 1, ","), std::string("abc"));
        QCOMPARE(GetField("", 1, ","), std::string(""));
        QCOMPARE(GetField(",x", 1, ","), std::string(""));
        QCOMPARE(GetField(",x", 2, ","), std::string("x"));
        // Longer delimiters are matched whole and exactly.
        QCOMPARE(GetField("a\r\nb\nc\r\nd", 2, "\r\n"), std::string("b\nc"));
        QCOMPARE(GetField("aXYbxyc", 2, "XY"), std::string("bxyc"));
        QCOMPARE(GetField("aaa", 2, "aa"), std::string("a"));
        QCOMPARE(GetField("aaab", 2, "aa"), std::string("ab"));
        QCOMPARE(GetField("6L6.GC.tdf", 1, "."), std::string("6L6"));
        // No delimiter: the text is one field.
        QCOMPARE(GetField("a,b", 1, ""), std::string("a,b"));
        QCOMPARE(GetField("a,b", 2, ""), std::string(""));
    }

    // The cursor gives, field after field, what GetField gives for each index.
    void cursorMatchesGetField() {
        std::mt19937 random(7);
        const std::string alphabet = "ab,\r\n ";
        const char* delimiters[] = {",", " ", "\r\n", "ab", "\t"};
        for (int round = 0; round < 3000; ++round) {
            std::string text(random() % 14, ' ');
            for (char& c : text) c = alphabet[random() % alphabet.size()];
            const std::string delimiter = delimiters[random() % 5];
            FieldCursor cursor(text, delimiter);
            std::string_view field;
            int index = 1;
            while (cursor.Next(field)) {
                QCOMPARE(std::string(field), GetField(text, index, delimiter));
                ++index;
                QVERIFY(index < 100);
            }
            QVERIFY(field.empty());
            QVERIFY(cursor.Rest().empty());
            // Once the cursor is done, every further field is "".
            for (int k = index; k < index + 3; ++k) QCOMPARE(GetField(text, k, delimiter), std::string());
        }
    }

    void cursorRest() {
        FieldCursor cursor("one\r\ntwo\r\nthree", "\r\n");
        std::string_view field;
        QVERIFY(cursor.Next(field));
        QCOMPARE(cursor.Rest(), std::string_view("two\r\nthree"));
        QVERIFY(cursor.Next(field));
        QVERIFY(cursor.Next(field));
        QCOMPARE(field, std::string_view("three"));
        QVERIFY(!cursor.Next(field));
        // An empty text has one empty field.
        FieldCursor empty("", ",");
        QVERIFY(empty.Next(field));
        QVERIFY(field.empty());
        QVERIFY(!empty.Next(field));
    }

    void paths() {
        QCOMPARE(GetFileName("C:\\data\\curve.tdf"), std::string("curve.tdf"));
        QCOMPARE(GetFileName("curve.tdf"), std::string("curve.tdf"));
        QCOMPARE(GetFileName("a/b\\c"), std::string("b\\c"));
        QCOMPARE(GetFileName("/home/u/tubes/6L6.GC.tdf"), std::string("6L6.GC.tdf"));
        QCOMPARE(GetFileName("dir/"), std::string(""));
        QCOMPARE(GetPath("C:\\data\\curve.tdf"), std::string("C:\\data"));
        QCOMPARE(GetPath("\\curve.tdf"), std::string(""));
        QCOMPARE(GetPath("curve.tdf"), std::string(""));
        QCOMPARE(GetPath(""), std::string(""));
        QCOMPARE(GetPath("a/b\\c"), std::string("a"));
        QCOMPARE(GetPath("/home/u/x.vyr"), std::string("/home/u"));
        QCOMPARE(GetExtension("my.curve.tdf"), std::string("curve"));
        QCOMPARE(GetExtension("*.tdf"), std::string("tdf"));
        QCOMPARE(GetExtension("readme"), std::string(""));
        QCOMPARE(GetExtension("/a.b/readme"), std::string(""));
        QCOMPARE(GetExtension("C:\\x.y\\f.vyr"), std::string("vyr"));
    }
};

QTEST_GUILESS_MAIN(TestFields)
#include "test_fields.moc"
