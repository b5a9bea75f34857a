#include "platform/text/CodePage.h"
#include "web/PageMerge.h"

#include <gtest/gtest.h>

using namespace merge;

TEST(Rebase, LinksAsABrowserResolvesThem)
{
    const QByteArray base = "http://127.0.0.1:8080/dir/sub/page.htm";
    auto r = [&](const QByteArray& l) { return rebaseLine(l, base); };
    EXPECT_EQ(r("<A HREF=\"img/a.htm\">A</A>"), "<A HREF=\"http://127.0.0.1:8080/dir/sub/img/a.htm\">A</A>");
    EXPECT_EQ(r("<a href='/root.htm'>"), "<a href='http://127.0.0.1:8080/root.htm'>");
    EXPECT_EQ(r("<a href=two.htm>"), "<a href=http://127.0.0.1:8080/dir/sub/two.htm>");
    EXPECT_EQ(r("<a href=\"../up.htm\">U</a> <a href=\"three.htm\">T</a>"),
              "<a href=\"http://127.0.0.1:8080/dir/up.htm\">U</a> <a href=\"http://127.0.0.1:8080/dir/sub/three.htm\">T</a>");
    EXPECT_EQ(r("<a href=\"http://X/Y.htm\">"), "<a href=\"http://X/Y.htm\">");
    EXPECT_EQ(r("<a href=\"#Top\">"), "<a href=\"#Top\">");
    EXPECT_EQ(r("<a href=\"//cdn.example/x\">"), "<a href=\"http://cdn.example/x\">");
    EXPECT_EQ(r("<a href=\"mailto:A@B\">"), "<a href=\"mailto:A@B\">");
    EXPECT_EQ(r("<IMG SRC=\"Pic.gif\">"), "<IMG SRC=\"http://127.0.0.1:8080/dir/sub/Pic.gif\">");
    EXPECT_EQ(r("<a href=\"?q=1\">"), "<a href=\"http://127.0.0.1:8080/dir/sub/page.htm?q=1\">");
    // An attribute at the start of a line counts; a script's assignments are no attributes.
    EXPECT_EQ(r("src=\"a.js\"><script>a.src=g;location.href=u</script>"),
              "src=\"http://127.0.0.1:8080/dir/sub/a.js\"><script>a.src=g;location.href=u</script>");
    EXPECT_EQ(resolveLink("x", "http://host"), "http://host/x");
    EXPECT_EQ(resolveLink("./a/../b", "http://h/p/q"), "http://h/p/b");
    EXPECT_EQ(resolveLink("img/a.htm", "http://h/dir/sub/../../page.htm"), "http://h/img/a.htm");

    const QByteArray cyr = platform::toCp1251(u"<a href=\"Страница.htm\">Текст</a>");
    EXPECT_EQ(rebaseLine(cyr, base), platform::toCp1251(u"<a href=\"http://127.0.0.1:8080/dir/sub/Страница.htm\">Текст</a>"));
    const QByteArray utf8 = QString::fromUtf8("<a href=\"Страница.htm\">Текст</a>").toUtf8();
    EXPECT_EQ(rebaseLine(utf8, base), "<a href=\"http://127.0.0.1:8080/dir/sub/" + QString::fromUtf8("Страница.htm\">Текст</a>").toUtf8());
}

TEST(Merge, HeaderDateLineAndBody)
{
    const QByteArray task = "<!-- DownloadPage=\"True\"-->\r\n<!-- SearchWords=\"w\"-->\r\n<!-- DownloadURL=\"http://h/d/p.htm\" -->\r\n";
    const QByteArray date = dateLine(1, QDateTime(QDate(2026, 12, 7), QTime(10, 15, 0)));
    EXPECT_TRUE(date.startsWith("<!-- DataTime=\""));
    EXPECT_TRUE(date.endsWith("\" -->"));
    EXPECT_FALSE(date.contains("UTC"));
    EXPECT_TRUE(dateLine(2, QDateTime::currentDateTime()).startsWith("<!-- Date/Time= "));
    const QByteArray out = mergedPage(task, "<html>\n<a href=\"x.htm\">X</a>\n</html>", QString(), date, "http://h/d/p.htm");
    EXPECT_EQ(out, "<!-- SearchWords=\"w\"-->\r\n<!-- DownloadURL=\"http://h/d/p.htm\" -->\r\n" + date +
                       "\r\n<html>\r\n<a href=\"http://h/d/x.htm\">X</a>\r\n</html>\r\n");

    // Only the server named the charset: the meta line comes first; the bytes stay.
    const QByteArray koi = "<html>\xf0\xd2\xc9\xd7\xc5\xd4</html>";
    EXPECT_EQ(mergedPage(task, koi, "KOI8-R", date, "http://h/"),
              "<!-- SearchWords=\"w\"-->\r\n<!-- DownloadURL=\"http://h/d/p.htm\" -->\r\n" + date +
                  "\r\n<meta http-equiv=\"Content-Type\" content=\"text/html; charset=koi8-r\">\r\n" + koi + "\r\n");
    // UTF-8 with a byte order mark loses it for a meta line; UTF-16 becomes UTF-8.
    const QByteArray bom = mergedPage(task, "\xEF\xBB\xBF<html>\xD0\x96</html>", QString(), date, "http://h/");
    EXPECT_FALSE(bom.contains("\xEF\xBB\xBF"));
    EXPECT_TRUE(bom.contains("charset=utf-8\">\r\n<html>\xD0\x96</html>"));
    const QString text = QString::fromUtf8("<html><title>Жук</title></html>");
    QByteArray wide("\xFF\xFE");
    wide += QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
    const QByteArray w = mergedPage(task, wide, QString(), date, "http://h/");
    EXPECT_TRUE(w.contains("charset=utf-8\">\r\n" + text.toUtf8() + "\r\n"));
    // A <base href> wins over the address.
    EXPECT_TRUE(mergedPage(task, "<base href=\"http://b/x/\">\n<a href=\"y\">", QString(), date, "http://h/")
                    .contains("<a href=\"http://b/x/y\">"));
}

TEST(Merge, ARelativeBaseAndLinksWithoutSchemeAreResolvedOnceAgainstThePage)
{
    // Opened from its file, the merged page finds nothing that is left relative to its old
    // address: not the pictures of another host, nor what its <base> leads to.
    const QByteArray page = "<head><base href=\"sub/\"></head>\n<img src=\"//cdn.example/p.gif\">"
                            "<a href=\"x.htm\">X</a>\n<img src='//cdn.example/q.gif'>";
    const QByteArray out = mergedPage("<!-- DownloadPage=\"True\"-->\r\n", page, QString(), "<!-- d -->",
                                      "https://h/a/p.htm");
    EXPECT_EQ(out, "<!-- d -->\r\n<head><base href=\"https://h/a/sub/\"></head>\r\n<img src=\"https://cdn.example/p.gif\">"
                   "<a href=\"https://h/a/sub/x.htm\">X</a>\r\n<img src='https://cdn.example/q.gif'>\r\n");
    EXPECT_TRUE(mergedPage("", "<base href=\"//b.example/d/\">\n<a href=\"y\">", QString(), "<!-- d -->", "http://h/")
                    .contains("<base href=\"http://b.example/d/\">\r\n<a href=\"http://b.example/d/y\">"));
}

TEST(Merge, OnlyTheAttributesOfTagsAreRebasedNotTextScriptsOrComments)
{
    const QByteArray page = "<script>var src=e.src; if (a<b) x.href=\"y\";</script><a href=\"p.htm\">see src=value</a>\n"
                            "<p>Write <code>&lt;img src=&quot;i.gif&quot;&gt;</code> or href='x'</p>\n"
                            "<!-- <img src=\"c.gif\"> --><style>b{} href=y</style>\n"
                            "<img alt=\"src=q\"\nSRC=\"Pic.gif\"><SCRIPT type=x>\nvar src=t;\n</SCRIPT><img src=i.gif>";
    const QByteArray out = mergedPage("", page, QString(), "<!-- d -->", "http://h/d/p.htm");
    EXPECT_EQ(out, "<!-- d -->\r\n<script>var src=e.src; if (a<b) x.href=\"y\";</script><a href=\"http://h/d/p.htm\">see "
                   "src=value</a>\r\n<p>Write <code>&lt;img src=&quot;i.gif&quot;&gt;</code> or href='x'</p>\r\n"
                   "<!-- <img src=\"c.gif\"> --><style>b{} href=y</style>\r\n<img alt=\"src=q\"\r\nSRC=\"http://h/d/Pic.gif\">"
                   "<SCRIPT type=x>\r\nvar src=t;\r\n</SCRIPT><img src=http://h/d/i.gif>\r\n");
}

TEST(Merge, BlanksAroundAnAddressAreNoPartOfIt)
{
    EXPECT_EQ(rebaseLine("<a href=\" http://x.example/a \">A</a><img src=' pic.gif'>", "http://h/d/p.htm"),
              "<a href=\" http://x.example/a \">A</a><img src=' http://h/d/pic.gif'>");
}

TEST(Merge, TheCharsetLineFollowsTheDoctypeSoThePageKeepsItsLayoutMode)
{
    // A tag before the doctype would have the engine lay the page out in quirks mode.
    const QByteArray page = "<!-- made by hand -->\n<!DOCTYPE html>\n<html><body>\xD0\x96</body></html>";
    EXPECT_EQ(mergedPage("", page, QString(), "<!-- d -->", "http://h/"),
              "<!-- d -->\r\n<!-- made by hand -->\r\n<!DOCTYPE html>\r\n"
              "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">\r\n<html><body>\xD0\x96</body></html>\r\n");
    EXPECT_TRUE(mergedPage("", "<!doctype html><p>x", "KOI8-R", "<!-- d -->", "http://h/")
                    .endsWith("<!doctype html>\r\n<meta http-equiv=\"Content-Type\" content=\"text/html; charset=koi8-r\">\r\n<p>x\r\n"));
}

TEST(Merge, EachAddressOfASrcsetIsRebasedItsDescriptorsAndCommasKept)
{
    const QByteArray page = "<picture><SOURCE SRCSET='w.gif 480w,/img/b.gif  2x ,c.gif,, data:image/gif;base64,R0lG,AA'>\n"
                            "<img src=\"a.gif\" srcset=\"a-2x.gif 2x, data:text/plain,a,b 3x,../up.gif\n"
                            " 4x, f.gif 5x\" data-srcset=\"k.gif\"><img srcset=u.gif></picture>";
    EXPECT_EQ(mergedPage("", page, QString(), "<!-- d -->", "http://h/d/p.htm"),
              "<!-- d -->\r\n<picture><SOURCE SRCSET='http://h/d/w.gif 480w,http://h/img/b.gif  2x ,http://h/d/c.gif,, "
              "data:image/gif;base64,R0lG,AA'>\r\n<img src=\"http://h/d/a.gif\" srcset=\"http://h/d/a-2x.gif 2x, "
              "data:text/plain,a,b 3x,http://h/up.gif\r\n 4x, http://h/d/f.gif 5x\" data-srcset=\"k.gif\">"
              "<img srcset=http://h/d/u.gif></picture>\r\n");
}

TEST(Merge, TagsAttributesCommentsAndRawTextAreReadAsHtmlReadsThem)
{
    // Each piece of the page as served and as it must be saved: only real link values change.
    const QByteArray b = "http://b.example/real/";
    const QList<std::pair<QByteArray, QByteArray>> pieces = {
        // The base is the first real <base> tag's href: not one in a comment, a script string or
        // a data- attribute, nor a later one.
        {"<!-- <base href=\"http://evil/c/\"> -->", {}},
        {"<script>var s = '<base href=\"http://evil/s/\">';</script>", {}},
        {"<base data-href=\"http://evil/d/\" href=\"http://b.example/real/\">", {}},
        {"<base href=\"http://evil/second/\">\n", {}},
        // A quote opens a value only at its start.
        {"<img alt=Bob's src=\"a.gif\"><a href=b.htm>it's</a>\n", "<img alt=Bob's src=\"" + b + "a.gif\"><a href=" + b + "b.htm>it's</a>\n"},
        {"<p>src=here</p>\n", {}},
        // Blanks around "=".
        {"<a href = \"x.htm\"><img src =\"s.gif\"><img\tsrc=\n'n.gif'>\n",
         "<a href = \"" + b + "x.htm\"><img src =\"" + b + "s.gif\"><img\tsrc=\n'" + b + "n.gif'>\n"},
        {"<img alt= src=\"p.gif\">\n", {}}, // alt is `src="p.gif"`, there is no src
        // Raw text and escapable raw text hold no tags.
        {"<title>T <a href=\"t.htm\"></title ><textarea><img src=\"ta.gif\"></textarea>", {}},
        {"<xmp><a href=\"x1.htm\"></xmp><noembed><a href=\"x2.htm\"></noembed><noframes><a href=\"x3.htm\"></noframes>\n", {}},
        {"<style>a{} <a href=\"st.htm\"></style><iframe><a href=\"if.htm\"></iframe>\n", {}},
        // Pages from disk are shown without their scripts: what <noscript> holds is markup.
        {"<noscript><img src=\"ns.gif\"></noscript>\n", "<noscript><img src=\"" + b + "ns.gif\"></noscript>\n"},
        // Bogus comments end at the first ">".
        {"<?php <a href=\"q1.htm\">?><!x <a href=\"q2.htm\"></ x <a href=\"q3.htm\">\n", {}},
        // Short comments end where they begin, so what follows them is markup.
        {"<!--><a href=\"c1.htm\"><!---><a href=\"c2.htm\">\n", "<!--><a href=\"" + b + "c1.htm\"><!---><a href=\"" + b + "c2.htm\">\n"},
        // A script's "<!--<script>" escape holds one "</script>"; the next one ends the script.
        {"<script><!--<script>x</script><img src=\"in.gif\"></script>--></script><img src=\"after.gif\">\n",
         "<script><!--<script>x</script><img src=\"in.gif\"></script>--></script><img src=\"" + b + "after.gif\">\n"},
        // A control byte is no "/": the script goes on.
        {QByteArray("<script>s='<\x0Fscript><img src=\"z.gif\">';</script>\n"), {}},
        // End tags carry no links.
        {"</a href=\"e.htm\">\n", {}},
    };
    QByteArray served, expected;
    for (const auto& [in, want] : pieces) {
        served += in;
        expected += want.isNull() ? in : want;
    }
    const QByteArray out = mergedPage("", served, QStringLiteral("windows-1251"), "<!-- d -->", "http://h/d/p.htm");
    expected.replace("\n", "\r\n");
    expected.prepend("<!-- d -->\r\n");
    // The server's charset: the page names none, so a declaration opens it.
    const QByteArray meta = "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1251\">\r\n";
    expected.insert(expected.indexOf("\r\n") + 2, meta);
    EXPECT_EQ(out.toStdString(), expected.toStdString());
}
