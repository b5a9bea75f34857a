// The download merge on pages that servers really send but that are easy to get wrong: a
// minified page whose links all stand on one line, and a wide charset name the decoder does
// not know.
#include "web/PageMerge.h"

#include <gtest/gtest.h>

using namespace merge;

TEST(MergeRobustness, EveryLinkOfAOneLinePageIsResolved)
{
    // 200000 links on one line (about 6 MB): each comes out absolute, the text between them
    // unchanged, in the page's order.
    QByteArray line;
    const int links = 200000;
    for (int i = 0; i < links; ++i)
        line += "<a href=\"p" + QByteArray::number(i) + ".htm\">L</a>";
    const QByteArray out = mergedPage("<!-- DownloadURL=\"http://h/d/x.htm\" -->\r\n", line, QString(), "<!-- d -->",
                                      "http://h/d/x.htm");
    QByteArray expected = "<!-- DownloadURL=\"http://h/d/x.htm\" -->\r\n<!-- d -->\r\n";
    for (int i = 0; i < links; ++i)
        expected += "<a href=\"http://h/d/p" + QByteArray::number(i) + ".htm\">L</a>";
    expected += "\r\n";
    EXPECT_EQ(out.size(), expected.size());
    EXPECT_TRUE(out == expected);
}

TEST(MergeRobustness, AnUnknownWideCharsetKeepsThePage)
{
    const QString text = QString::fromUtf8("<html><title>Жук</title><a href=\"x.htm\">Ж</a></html>");
    const QByteArray le(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
    // Known names decode as before; a variant the decoder does not know is read in the
    // family's default order rather than dropped.
    for (const char* charset : {"utf-16", "UTF-16LE", "utf-16-x", "utf-16lee"}) {
        const QByteArray out = mergedPage("<!-- DownloadURL=\"http://h/x.htm\" -->\r\n", le, QString::fromLatin1(charset),
                                          "<!-- d -->", "http://h/x.htm");
        EXPECT_TRUE(out.contains(QString::fromUtf8("<html><title>Жук</title><a href=\"http://h/x.htm\">Ж</a></html>").toUtf8()))
            << charset << ": " << out.constData();
        EXPECT_TRUE(out.contains("charset=utf-8")) << charset;
    }
    QByteArray le32;
    for (char32_t c : text.toUcs4())
        for (int k = 0; k < 4; ++k)
            le32 += char((c >> (8 * k)) & 0xFF);
    const QByteArray out = mergedPage("", le32, QStringLiteral("utf-32-whatever"), "<!-- d -->", "http://h/");
    EXPECT_TRUE(out.contains(QString::fromUtf8("<title>Жук</title>").toUtf8())) << out.constData();
}

TEST(MergeRobustness, AQueryLinkAgainstABaseWithDotSegmentsGetsTheCleanPath)
{
    // As a browser does (it cleans the base address when it reads it); the path of a clean base
    // stays as it is.
    EXPECT_EQ(resolveLink("?q=1", "http://h/a/./b/../c.htm"), "http://h/a/c.htm?q=1");
    EXPECT_EQ(rebaseLine("<a href=\"?p=2\">", "http://h/x/../y/z.htm?old#f"), "<a href=\"http://h/y/z.htm?p=2\">");
    EXPECT_EQ(resolveLink("?q", "http://h/a.b/c..d/e"), "http://h/a.b/c..d/e?q");
}
