// Wildcard matching of names.
#include "archive/WildMatch.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

using archive::IsMatch;

TEST(WildMatch, StarsQuestionMarksAndCase)
{
    struct Case {
        const char* pattern;
        const char* name;
        bool match;
    };
    const Case cases[] = {
        {"*.txt", "readme.TXT", true},
        {"*.*", "a.b", true},
        {"*.*", "archive.tar.gz", true},
        {"*.*", "noext", false},
        {"a?c", "abc", true},
        {"a?c", "ac", false},
        {"*?", "a", true},
        {"*?", "", false},
        {"*", "", true},
        {"*", "anything at all", true},
        {"abc*", "abc", true},
        {"abc*", "abcdef", true},
        {"abc", "abcd", false},
        {"abc", "ab", false},
        {"", "", true},
        {"", "a", false},
        {"a**", "a", false},
        {"A*B", "axxb", true},
        {"*b*", "abc", true},
        {"*x*", "abc", false},
        {"*.tar.*", "x.tar.gz", true},
        {"ПРИВЕТ*", "привет", false}, // only Latin letters fold
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsMatch(QString::fromUtf8(c.pattern), QString::fromUtf8(c.name)), c.match)
            << c.pattern << " / " << c.name;
}

TEST(WildMatch, SetsRangesAndStarSets)
{
    struct Case {
        const char* pattern;
        const char* name;
        bool match;
    };
    const Case cases[] = {
        {"<a-c>x", "bx", true},
        {"<a-c>x", "dx", false},
        {"<!a-c>x", "dx", true},
        {"<!a-c>x", "ax", false},
        {"<^abc>", "d", true},
        {"<^abc>", "b", false},
        {"<abc>", "B", true},
        {"<c-a>", "b", false}, // a reversed range covers nothing
        {"*<0-9>", "12345", true},
        {"*<0-9>", "", false},
        {"*<0-9>", "12a45", false},
        {"*<0-9>.log", "2024.log", true},
        {"*<0-9>.log", "ab.log", false},
        {"*<0-9>?", "a1", true},
        {"*<!0-9>", "abc", true},
        {"*<!0-9>", "ab1", false},
        {"<>a", "a", false},
        {"<>a", ">a", false},
        {"<abc", "a", false},
        {"<a->", "a", false},
        {"<a-z><0-9>*", "x7yz", true},
        {"*<a-z>", "", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsMatch(QString::fromUtf8(c.pattern), QString::fromUtf8(c.name)), c.match)
            << c.pattern << " / " << c.name;
}

TEST(WildMatch, ManyStarsStayFast)
{
    QElapsedTimer t;
    t.start();
    const QString as(200, QLatin1Char('a'));
    EXPECT_FALSE(IsMatch(QStringLiteral("*a*a*a*a*a*a*a*b"), as));
    EXPECT_TRUE(IsMatch(QStringLiteral("*a*a*a*a*a*a*a*a"), as));
    EXPECT_FALSE(IsMatch(QStringLiteral("*<a>*<a>*<a>*<a>*<a>*b"), as));
    EXPECT_LT(t.elapsed(), 1000);
}
