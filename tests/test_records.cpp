// Readers of the annotated input files, on in-memory streams.
#include <gtest/gtest.h>

#include "core/stop.h"
#include "memstream.h"
#include "textio/records.h"

using namespace kalp;
using kalp::test::Input;
using kalp::test::Output;
using kalp::test::stopreport;

TEST(Readint, EchoesLeadInWordsAndValue) {
    {
        // A lead-in of one line break, a separator of one space.
        Input in("7\n\"Number of years\" \"Y\"rest");
        Output out;
        EXPECT_EQ(readint(out.s, in.s, "v"), 7);
        EXPECT_EQ(out.str(), "\nNumber of years    (Y):  7 ");
        EXPECT_EQ(in.rest(), "rest");
    }
    {
        Input in("  12 \"Traced class\" \"n_sac\"\n");
        Output out;
        EXPECT_EQ(readint(out.s, in.s, "v"), 12);
        EXPECT_EQ(out.str(), " Traced class    (n_sac):  12 ");
    }
    {
        // Empty description and label; carriage returns and tabs are copied.
        Input in("-3\r\n\t\"\"\r\n\"\"");
        Output out;
        EXPECT_EQ(readint(out.s, in.s, "v"), -3);
        EXPECT_EQ(out.str(), "\r\n\t\r\n   ():  -3 ");
    }
}

TEST(Readint, TextAfterTheDigitsBecomesLeadIn) {
    Input in("2.0 \"D\" \"L\"");
    Output out;
    EXPECT_EQ(readint(out.s, in.s, "v"), 2);
    EXPECT_EQ(out.str(), ".0 D    (L):  2 ");
}

TEST(Readint, MissingOrHugeNumberEndsTheRun) {
    Input none("\"D\" \"L\"", "INPUTVRD02.TXT");
    Output out;
    EXPECT_EQ(stopreport([&] { readint(out.s, none.s, "the number of years"); }),
              "\nError message:\nThe file INPUTVRD02.TXT holds no readable number for the number "
              "of years.\n  Write that value as a number in INPUTVRD02.TXT and restart the "
              "program.\n\n");
    Input huge("3000000000 \"D\" \"L\"", "INPUTVRD02.TXT");
    EXPECT_NE(stopreport([&] { readint(out.s, huge.s, "v"); }).find("is not a finite number"),
              std::string::npos);
}

TEST(Readfloat, FormatsTheValue) {
    Input in("0.5 \"Share\" \"pdA\"");
    Output out;
    EXPECT_FLOAT_EQ(readfloat(out.s, in.s, "v"), 0.5f);
    EXPECT_EQ(out.str(), " Share    (pdA):      0.5000 ");
    for (const char* bad : {"nan \"D\" \"L\"", "inf \"D\" \"L\"", "1e39 \"D\" \"L\""}) {
        Input b(bad);
        EXPECT_NE(stopreport([&] { readfloat(out.s, b.s, "v"); }), "") << bad;
    }
}

TEST(Readers, EndOfInputInsideAUnitEndsTheRun) {
    Output out;
    for (const char* text : {"5 \"open", "5 \"D\" \"L", "5", ""}) {
        Input in(text, "INPUTVRD03.TXT");
        const std::string r = stopreport([&] { readint(out.s, in.s, "v"); });
        EXPECT_NE(r.find("INPUTVRD03.TXT"), std::string::npos) << text;
    }
    Input com("/ no end", "INPUTVRD04.TXT");
    EXPECT_EQ(stopreport([&] { readcom(com.s); }),
              "\nError message:\nThe file INPUTVRD04.TXT ends inside its comment.\n  Enclose the "
              "comment at the start of INPUTVRD04.TXT in two slashes and restart the program.\n\n");
    Input des("1 2 \"a\" \"b");
    EXPECT_NE(stopreport([&] { readdes(des.s); }), "");
}

TEST(Readers, SkipRecordsAndComments) {
    {
        // A comment holding quotes is skipped whole; then a multi-value record.
        Input in("junk /a \"quoted\" comment/ 0 0.1 0.2 \"D\" \"L\" 9 \"N\" \"M\"");
        readcom(in.s);
        readdes(in.s);
        Output out;
        EXPECT_EQ(readint(out.s, in.s, "v"), 9);
    }
    {
        Input in("//3 \"D\" \"L\"");
        readcom(in.s);
        EXPECT_EQ(readdat1(in.s, "v"), 3);
        EXPECT_EQ(in.rest(), "");
    }
    {
        Input in(" 2.25\n\"D\"\n\"L\"x");
        EXPECT_FLOAT_EQ(readdat(in.s, "v"), 2.25f);
        EXPECT_EQ(in.rest(), "x");
    }
}

TEST(Readers, ShortRecordReadTwiceGivesTheSameValue) {
    const std::string text = "Title\"Parameters\"\n 2   \"Standardise (2 = yes)\" tail";
    Output out;
    Input first(text);
    // The leading segment is copied by the template reader; skip it here.
    first.skipquotes(2);
    sysvar(first.s, out.s, "v");
    EXPECT_EQ(out.str(), "   Standardise (2 = yes):  2\n");
    Input second(text);
    second.skipquotes(2);
    EXPECT_EQ(readsyva(second.s, "v"), 2);
    EXPECT_EQ(second.rest(), " tail");
}

TEST(Readers, BytesAreCopiedAsTheyAre) {
    // NUL bytes, invalid UTF-8 and a very long description without line
    // breaks pass through unchanged.
    std::string words = std::string("a\0b\xff\xfe", 5) + std::string(200000, 'x');
    Input in("4 " + words + "\"" + words + "\"\t\"L\xc3\x28\"", "BYTES.TXT");
    Output out;
    EXPECT_EQ(readint(out.s, in.s, "v"), 4);
    EXPECT_EQ(out.str(), " " + words + words + "\t   (L\xc3\x28):  4 ");
}
