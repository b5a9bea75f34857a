#include "web/PageHeader.h"
#include "web/Unit_kyes.h"
#include "platform/text/CodePage.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>

namespace {

struct Values {
    QString find, read, link;
    int readMark = -1, linkMark = -1;
};

class PageHeaderTest : public ::testing::Test {
protected:
    QString page(const QByteArray& content, const QString& name = QStringLiteral("p.htm"))
    {
        const QString p = t.file(name);
        testsupport::writeFile(p, content);
        return p;
    }
    Values values(const QString& file, const QString& key)
    {
        Values v;
        v.find = FindKomand(file, key);
        v.read = ReadHeaderValue(file, key, v.readMark);
        v.link = ReadLinkHeaderValue(file, key, v.linkMark);
        return v;
    }
    testsupport::TempDir t;
};

} // namespace

TEST_F(PageHeaderTest, ValuesOfTheProgramsOwnLines)
{
    auto v = values(page("<!-- DownloadURL=\"http://Example.com/A?b=1\" -->\r\n<html>\r\n"), "DownloadURL");
    EXPECT_EQ(v.read, "http://Example.com/A?b=1");
    EXPECT_EQ(v.link, "http://Example.com/A?b=1");
    EXPECT_EQ(v.find, "http://example.com/a?b=1");
    EXPECT_EQ(v.readMark, 0);

    v = values(page("<!-- DownloadPage=\"True\"-->\r\n"), "DownloadPage");
    EXPECT_EQ(v.read, "True");
    EXPECT_EQ(v.find, "true");
    EXPECT_EQ(v.readMark, 1);

    EXPECT_EQ(FindKomand(page("<!-- HidePage=\"TRUE\"-->\r\n"), "HidePage"), "true");
    EXPECT_EQ(FindKomand(page("<!--hidepage=\"true\"-->\r\n"), "HidePage"), "true");
    int mark = 0;
    EXPECT_EQ(ReadHeaderValue(page("<!-- downloadurl=\"x\" -->\r\n"), "DownloadURL", mark), "");

    EXPECT_EQ(values(page("<!-- Date/Time= 07.12.2026 10:15:00 -->\r\n"), "Date/Time").read, "07.12.2026 10:15:00");
    EXPECT_EQ(values(page("<!-- Note= abc-->\r\n"), "Note").read, "ab");
    EXPECT_EQ(values(page("<!-- DownloadPageX=\"1\" -->\r\n"), "DownloadPage").read, "=\"1");
    v = values(page("<!-- X DownloadURL=\"a\" -->\r\n"), "DownloadURL");
    EXPECT_EQ(v.find + v.read + v.link, "");

    // The writers' lines read back as their values.
    const QByteArray line = makeHeaderLine(HeaderLines::TreeKategory, QStringLiteral("Проекты/Веб/"));
    EXPECT_EQ(line, platform::toCp1251(u"<!-- TreeKategory=\"Проекты/Веб/\"-->"));
    EXPECT_EQ(values(page(line + "\r\n"), "TreeKategory").read, QStringLiteral("Проекты/Веб/"));
    EXPECT_EQ(values(page(makeHeaderLine(HeaderLines::DateTime, "07.12.2026 10:15:00")), "Date/Time").read,
              "07.12.2026 10:15:00");
}

TEST_F(PageHeaderTest, BrokenLinesGiveTheEmptyValue)
{
    const QByteArray big = "<!-- DownloadURL=\"" + QByteArray(5 * 1024 * 1024, 'x');
    for (const QByteArray& l : {QByteArray("<!--"), QByteArray("<!---->"), QByteArray("<!-- DownloadURL"),
                                QByteArray("<!-- DownloadURL="), QByteArray("<!-- DownloadURL=\""),
                                QByteArray("<!-- DownloadURL=-->"), QByteArray("<!-- DownloadURL=\"\" -->")}) {
        auto v = values(page(l + "\r\n"), "DownloadURL");
        EXPECT_EQ(v.find + v.read + v.link, "") << l.constData();
    }
    auto v = values(page(big + "\r\n<!-- DownloadURL=\"-->"), "DownloadURL");
    EXPECT_EQ(v.find.size(), 5 * 1024 * 1024);
    EXPECT_EQ(v.read, "");
    EXPECT_EQ(v.link.size(), 5 * 1024 * 1024);
}

TEST_F(PageHeaderTest, WhereEachReaderEnds)
{
    // A doctype first: only FindKomand looks past it.
    auto v = values(page("<!DOCTYPE html>\r\n<!-- DownloadURL=\"http://a/\" -->\r\n<html>\r\n"), "DownloadURL");
    EXPECT_EQ(v.find, "http://a/");
    EXPECT_EQ(v.read + v.link, "");

    EXPECT_EQ(FindKomand(page("<HTML>\r\n<!-- HidePage=\"True\"-->\r\n"), "HidePage"), "");
    EXPECT_EQ(FindKomand(page("<html lang=ru>\r\n<body>x</body>\r\n<!-- HidePage=\"True\"-->\r\n"), "HidePage"), "true");

    v = values(page("<!-- DownloadURL=\"http://first/\" -->\r\n<!-- DownloadURL=\"http://second/\" -->\r\n"
                    "<!-- DownloadPage=\"True\"-->\r\n"),
               "DownloadURL");
    EXPECT_EQ(v.read, "http://second/");
    EXPECT_EQ(v.link, "http://first/");
    EXPECT_EQ(v.find, "http://first/");
    EXPECT_EQ(v.readMark, 1);
    EXPECT_EQ(v.linkMark, 0);

    v = values(t.file("missing.htm"), "DownloadURL");
    EXPECT_EQ(v.find + v.read + v.link, "");
    EXPECT_EQ(v.readMark + v.linkMark, 0);
    QString kept = "as passed";
    FindKomand(t.file("missing.htm"), "DownloadURL", kept);
    EXPECT_EQ(kept, "as passed");

    // A byte order mark before the first line hides nothing; lone CR and LF end lines too.
    v = values(page("\xEF\xBB\xBF<!-- DownloadURL=\"http://bom/\" -->\n<!-- DownloadPage=\"True\"-->\rbody"), "DownloadURL");
    EXPECT_EQ(v.find + v.read + v.link, "http://bom/http://bom/http://bom/");
    EXPECT_EQ(v.readMark, 1);

    // A UTF-16 page has no header for anyone; a folder named like a page reads as empty.
    v = values(page(QByteArray("\xFF\xFE<\0!\0-\0-\0 \0H\0i\0d\0e\0P\0a\0g\0e\0", 30)), "HidePage");
    EXPECT_EQ(v.find + v.read + v.link, "");
    QDir().mkpath(t.file("dir.htm"));
    v = values(t.file("dir.htm"), "HidePage");
    EXPECT_EQ(v.find + v.read + v.link, "");
}

TEST_F(PageHeaderTest, SearchWordsWindowAnswersThroughItsMethod)
{
    TForm_keys keys;
    QString value;
    keys.FindKomand(nullptr, page("<!-- HidePage=\"True\"-->\r\n"), "HidePage", value);
    EXPECT_EQ(value, "true");
}

TEST_F(PageHeaderTest, SplitKeepsBodyBytesAndByteOrderMark)
{
    const QByteArray body = "<html>\n\xCF\xF0\xE8\r\nno break at end";
    const QString p = page("\xEF\xBB\xBF<!-- A -->\n<!--B\r\n" + body);
    PageHead h = readPageHead(p);
    EXPECT_EQ(h.lines, (QList<QByteArray>{"<!-- A -->", "<!--B"}));
    EXPECT_EQ(h.bom, "\xEF\xBB\xBF");
    QString err;
    ASSERT_TRUE(writePageHead(p, {"<!-- A -->", "<!--B", "<!-- C -->"}, &err)) << err.toStdString();
    EXPECT_EQ(testsupport::readFile(p), "\xEF\xBB\xBF<!-- A -->\r\n<!--B\r\n<!-- C -->\r\n" + body);

    // A page of header lines only, and a missing page.
    const QString task = page("<!-- X -->");
    ASSERT_TRUE(writePageHead(task, {"<!-- Y -->"}, &err));
    EXPECT_EQ(testsupport::readFile(task), "<!-- Y -->\r\n");
    ASSERT_TRUE(writePageHead(t.file("new.shtm"), {"<!-- Z -->"}, &err));
    EXPECT_EQ(testsupport::readFile(t.file("new.shtm")), "<!-- Z -->\r\n");

    // UTF-16 pages are refused and stay as they are.
    const QByteArray wide("<\0!\0-\0-\0\r\0\n\0x\0", 14);
    const QString w = page(wide);
    EXPECT_TRUE(readPageHead(w).wide);
    EXPECT_FALSE(writePageHead(w, {"<!-- Y -->"}, &err));
    EXPECT_TRUE(err.contains(w));
    EXPECT_EQ(testsupport::readFile(w), wide);
}
