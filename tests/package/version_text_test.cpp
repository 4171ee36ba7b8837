// Version numbers and fix-label numbers read out of texts.
#include "package/version_text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct VersionCase {
    const char* text;
    int dotted;        // result of the dotted form
    int comma;         // result of the comma form on a fresh copy
    int expected[4];   // numbers of whichever form succeeds
};

TEST(VersionText, DottedAndCommaForms)
{
    const VersionCase cases[] = {
        {"9.0.1.5", 1, 0, {9, 0, 1, 5}},
        {"14.5.1.0", 1, 0, {14, 5, 1, 0}},
        {" 9. 0. 1. 5", 1, 0, {9, 0, 1, 5}},          // leading blanks are skipped
        {"9.0.1.5 (build)", 1, 0, {9, 0, 1, 5}},      // a field stops at its first non-digit
        {"9, 0, 1, 5", 0, 1, {9, 0, 1, 5}},
        {"9,0,1.5", 0, 1, {9, 0, 1, 5}},
        {"6.1.7601.17514 (win7sp1_rtm.101119-1850)", 1, 0, {6, 1, 7601, 17514}},
    };
    for (const VersionCase& c : cases) {
        SCOPED_TRACE(c.text);
        int v[4] = {-1, -1, -1, -1};
        std::string dotted = c.text, comma = c.text;
        EXPECT_EQ(c.dotted, ParseDottedVersion(&dotted[0], &v[0], &v[1], &v[2], &v[3]));
        int w[4] = {-1, -1, -1, -1};
        EXPECT_EQ(c.comma, ParseCommaVersion(&comma[0], &w[0], &w[1], &w[2], &w[3]));
        const int* got = c.dotted ? v : w;
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(c.expected[i], got[i]) << "field " << i;
    }
}

TEST(VersionText, FieldsReadBeforeAFailureStayStored)
{
    int v[4] = {-1, -1, -1, -1};
    char text[] = "9, 0, 1, 5";
    EXPECT_EQ(0, ParseDottedVersion(text, &v[0], &v[1], &v[2], &v[3]));
    EXPECT_EQ(9, v[0]);
    EXPECT_EQ(-1, v[1]);
    char empty[] = "";
    EXPECT_EQ(0, ParseCommaVersion(empty, &v[0], &v[1], &v[2], &v[3]));
}

TEST(VersionText, RqaLabelNumbers)
{
    struct Case { const char* text; int result, first, second; };
    const Case cases[] = {
        {"Release 14.5.1FP1 RQA3.2|May 21, 2026", 1, 3, 2},
        {"RQA12.07", 1, 12, 7},
        {"Release RQA5 HF.9", 1, 5, 9},           // the dot is the next one after "RQA"
        {"Release 14.5.1FP1 HF21", 0, -1, -1},     // no "RQA": outputs untouched
        {"Release RQA.2", 0, -1, -1},              // no number right after "RQA"
        {"Release RQA4", 0, -1, -1},               // no dot after "RQA"
        {"Release RQA4.x", 0, -1, -1},             // no number after the dot
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        int a = -1, b = -1;
        EXPECT_EQ(c.result, ParseRqaLabel(c.text, &a, &b));
        EXPECT_EQ(c.first, a);
        EXPECT_EQ(c.second, b);
    }
}

TEST(VersionText, TitleVersionAfterTheFirstColon)
{
    struct Case {
        const char* title;
        int result;
        int n[4];
    };
    const Case cases[] = {
        {"Diagnostics: 9.0.1.7", 1, {9, 0, 1, 7}},
        {"Custom fix: 9, 0, 1, 5", 1, {9, 0, 1, 5}},       // the comma form when the dotted one fails
        {"Fix: 14.5.1.0: second colon", 1, {14, 5, 1, 0}},  // the first ':' counts
        {"Diagnostics 9.0.1.7", 0, {-1, -1, -1, -1}},      // no ':' at all
        {"Diagnostics: 9.0.1", 0, {-1, -1, -1, -1}},        // three fields: n stays untouched
        {"Diagnostics:", 0, {-1, -1, -1, -1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        int n[4] = {-1, -1, -1, -1};
        EXPECT_EQ(c.result, ParseTitleVersion(c.title, n));
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(c.n[i], n[i]) << "field " << i;
    }
    EXPECT_EQ(0, ParseTitleVersion(nullptr, nullptr));
}

}  // namespace
