// Template segments, the words of multi-value records and section headings.
#include <gtest/gtest.h>

#include "memstream.h"
#include "textio/segments.h"

using namespace kalp;
using kalp::test::Input;
using kalp::test::Output;
using kalp::test::stopreport;

TEST(Outputrw, CopiesSegmentsWithoutTheirQuotes) {
    Input tpl("\"\"\"first\"\n\n\"second\r\n\" \"third\"");
    Output out;
    outputrw(tpl.s, out.s); // two adjacent quotes write nothing
    EXPECT_EQ(out.str(), "");
    outputrw(tpl.s, out.s);
    EXPECT_EQ(out.str(), "first");
    // Line breaks between segments open the next one.
    outputrw(tpl.s, out.s);
    EXPECT_EQ(out.str(), "first\n\nsecond\r\n");
    outputr(tpl.s);
    EXPECT_EQ(out.str(), "first\n\nsecond\r\n");
    EXPECT_EQ(tpl.rest(), "");
}

TEST(Outputrw, TemplateEndingInsideASegmentEndsTheRun) {
    Input tpl("\"one\" \"tw", "TEXTVRD_OUT.TXT");
    Output out;
    outputrw(tpl.s, out.s);
    EXPECT_EQ(stopreport([&] { outputrw(tpl.s, out.s); }),
              "\nError message:\nThe file TEXTVRD_OUT.TXT ends inside a text segment.\n  Use a "
              "complete TEXTVRD_OUT.TXT in which every text stands between two double quotes and "
              "restart the program.\n\n");
    Input empty("", "TEXTVRD_OUT.TXT");
    EXPECT_NE(stopreport([&] { outputr(empty.s); }), "");
}

TEST(Wrides, StartsANewLineAndDropsTextBeforeTheDescription) {
    Input in("   junk \"A-sire path\" \"pA\" next");
    Output out;
    wrides(in.s, out.s);
    EXPECT_EQ(out.str(), "\nA-sire path    (pA):");
    EXPECT_EQ(in.rest(), " next");
    Input cut("\"D\" \"L");
    EXPECT_NE(stopreport([&] { wrides(cut.s, out.s); }), "");
}

TEST(Inp00, HeadingsAndUnderlines) {
    struct Case {
        int n2, n3, zz;
        std::string want;
    };
    const std::string d33(33, '-'), d34(34, '-'), d35(35, '-');
    const Case cases[] = {
        {4, 0, 3, "2.3 Data from file INPUTVRD04.TXT\n" + d33},
        {1, 1, 1, "2.1 Data from file INPUTVRD01A.TXT\n" + d34},
        {1, 2, 2, "2.2 Data from file INPUTVRD01B.TXT\n" + d34},
        {1, 1, 10, "2.10 Data from file INPUTVRD01A.TXT\n" + d35},
        {12, 0, 10, "2.10 Data from file INPUTVRD12.TXT\n" + d34},
        {3, 7, 2, "2.2 Data from file " + d34},
        {3, -1, 2, "2.2 Data from file "},
    };
    for (const Case& c : cases) {
        Output out;
        inp00(out.s, c.n2, c.n3, c.zz);
        EXPECT_EQ(out.str(), c.want) << c.n2 << " " << c.n3 << " " << c.zz;
    }
}
