// The page tools' plain part: the neutraliser against the one-mark-at-a-time rule, the cut, the
// selection's bytes in a page's encoding.
#include "app/PageTools.h"

#include <gtest/gtest.h>

#include <QList>
#include <QRandomGenerator>

namespace {

// The rule as written: in each line, again and again, the first of the words (in this order) that
// occurs gets "#" after the first letter of its first occurrence.
QByteArray markOneAtATime(const QByteArray& page)
{
    static const char* const words[] = {"onmousedown", "onclick", "onmouseover", "onmouseout",
                                        "style",       "function", "script",     "JavaScript"};
    QList<QByteArray> lines = page.split('\n');
    for (QByteArray& line : lines) {
        for (;;) {
            bool hit = false;
            for (const char* w : words) {
                const qsizetype at = line.indexOf(w);
                if (at >= 0) {
                    line.insert(at + 1, '#');
                    hit = true;
                    break;
                }
            }
            if (!hit)
                break;
        }
    }
    return lines.join('\n');
}

} // namespace

TEST(PageToolsLogic, NeutraliserMarksEveryWordAsTheOneAtATimeRuleDoes)
{
    bool changed = false;
    EXPECT_EQ(pagetools::neutralise(R"x(<a onclick="x()" style="color:red">)x", &changed),
              QByteArray(R"x(<a o#nclick="x()" s#tyle="color:red">)x"));
    EXPECT_TRUE(changed);
    EXPECT_EQ(pagetools::neutralise("OnClick Style STYLE JavaScript javascript Function", &changed),
              QByteArray("OnClick Style STYLE J#avaScript javas#cript Function"));
    EXPECT_EQ(pagetools::neutralise("<p>plain</p>\r\n", &changed), QByteArray("<p>plain</p>\r\n"));
    EXPECT_FALSE(changed);
    // "function" ending in the "on" of an on-word: the on-word gets the mark, "function" none.
    EXPECT_EQ(pagetools::neutralise("functionclick functionmouseout function"),
              QByteArray("functio#nclick functio#nmouseout f#unction"));
    EXPECT_EQ(pagetools::neutralise(""), QByteArray());

    // Random pages made of the words' pieces, against the rule itself.
    const char* const pieces[] = {"on", "onclick", "function", "func", "tion", "mouse", "down", "over", "out",
                                  "style", "sty", "le", "script", "Java", "JavaScript", "Script", "\r\n", "\n",
                                  " ", "x", "\xE0\xF0", "#", "o", "n", "onmouseover", "onmousedown"};
    QRandomGenerator rng(42);
    for (int round = 0; round < 2000; ++round) {
        QByteArray page;
        const int n = rng.bounded(1, 30);
        for (int i = 0; i < n; ++i)
            page += pieces[rng.bounded(int(std::size(pieces)))];
        ASSERT_EQ(pagetools::neutralise(page), markOneAtATime(page)) << page.constData();
    }
}

TEST(PageToolsLogic, TheCutKeepsTheHeaderAndStartsAtTheSelectionFromTheSecondBodyLine)
{
    const QByteArray page = "<!-- DownloadURL=\"http://a/\" -->\r\n<html><body>\r\n<p>Intro</p>\r\n"
                            "<p>Main text here</p>\r\n</body></html>\r\n";
    pagetools::CutResult r = pagetools::cutBefore(page, "Main text");
    ASSERT_TRUE(r.found);
    EXPECT_EQ(r.page, QByteArray("<!-- DownloadURL=\"http://a/\" -->\r\nMain text here</p>\r\n</body></html>\r\n"));

    // Only in the body's first line: not found. At the very end of a line: found.
    EXPECT_FALSE(pagetools::cutBefore("<!-- a -->\r\n<html><body>Top\r\n<p>x</p>\r\n", "Top").found);
    r = pagetools::cutBefore("<html>\n<p>a</p>\n<p>b</p>end\n</html>", "end");
    ASSERT_TRUE(r.found);
    EXPECT_EQ(r.page, QByteArray("end\n</html>"));
    // No header: the file's second line is where the search starts; CR-only lines count as lines.
    r = pagetools::cutBefore("first\rsecond word\rthird", "word");
    ASSERT_TRUE(r.found);
    EXPECT_EQ(r.page, QByteArray("word\rthird"));
    // A UTF-8 byte order mark stays in front of the header.
    r = pagetools::cutBefore("\xEF\xBB\xBF<!-- h -->\n<html>\n<p>one two</p>\n", "two");
    ASSERT_TRUE(r.found);
    EXPECT_EQ(r.page, QByteArray("\xEF\xBB\xBF<!-- h -->\ntwo</p>\n"));
    // A selection over several lines, an empty one, or none in the page: nothing is found.
    EXPECT_FALSE(pagetools::cutBefore(page, "Intro\nMain").found);
    EXPECT_FALSE(pagetools::cutBefore(page, "").found);
    EXPECT_FALSE(pagetools::cutBefore(page, "absent").found);
    // Letter case counts.
    EXPECT_FALSE(pagetools::cutBefore(page, "main text").found);
}

TEST(PageToolsLogic, TheSelectionIsComparedInThePagesOwnEncoding)
{
    const QString word = QString::fromUtf8("Привет");
    EXPECT_EQ(pagetools::encodeAs(word, "windows-1251"), QByteArray("\xCF\xF0\xE8\xE2\xE5\xF2"));
    EXPECT_EQ(pagetools::encodeAs(word, "UTF-8"), word.toUtf8());
    EXPECT_EQ(pagetools::encodeAs(word, "KOI8-R"), QByteArray("\xF0\xD2\xC9\xD7\xC5\xD4"));
    // A text the page's encoding cannot hold is never found.
    EXPECT_TRUE(pagetools::encodeAs(QString::fromUtf8("日本"), "windows-1251").isEmpty());
    EXPECT_TRUE(pagetools::encodeAs(word, "no-such-encoding").isEmpty());
}

TEST(PageToolsLogic, ALongTaskNameGivesItsLast101Characters)
{
    const QString name = QString(49, 'a') + QString(101, 'b');
    EXPECT_EQ(pagetools::childNodeText(name), QString(101, 'b'));
    EXPECT_EQ(pagetools::childNodeText(QString(100, 'c')), QString(100, 'c'));
    EXPECT_EQ(pagetools::childNodeText("news"), "news");
}
