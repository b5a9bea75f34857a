// Pages that name no encoding are read as Windows-1251 even where the engine's own guess would
// differ (short texts), while the file's address and links stay those of the file.
#include "platform/text/CodePage.h"
#include "platform/web/WebEngineBrowser.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QSignalSpy>

using namespace platform;

namespace {
QString script(BrowserControl& b, const char* s) { return b.runScript(QString::fromLatin1(s)).toString(); }
QString bodyText(BrowserControl& b) { return script(b, "document.body.innerText").trimmed(); }
} // namespace

TEST(BrowserEncoding, ShortUndeclaredPagesAreWindows1251AndKeepTheirFileAddress)
{
    testsupport::TempDir t;
    QDir().mkpath(t.file("sub"));
    // Alone, "Да" is taken for GBK and "Ёлка" for IBM866 by the engine's guess.
    const QString first = t.file("Да.html");
    testsupport::writeFile(first, "<html><head><title>" + toCp1251(u"Да") + "</title><script src=\"s.js\"></script></head>"
                                  "<body>" + toCp1251(u"Да") + " <a href=\"sub/b.html\">b</a></body></html>");
    testsupport::writeFile(t.file("s.js"), "document.documentElement.setAttribute('data-ran', 'yes');");
    const QString second = t.file("sub/b.html");

    WebEngineBrowser b;
    b.resize(400, 300);
    b.show();
    QSignalSpy finished(&b, &BrowserControl::loadFinished);
    b.navigateFile(first);
    ASSERT_TRUE(b.waitLoaded(20000));
    EXPECT_EQ(bodyText(b), QStringLiteral("Да b"));
    EXPECT_EQ(b.title(), QStringLiteral("Да"));
    EXPECT_EQ(script(b, "document.characterSet"), QStringLiteral("windows-1251"));
    ASSERT_EQ(finished.size(), 1);
    EXPECT_TRUE(finished.at(0).at(1).toBool());
    EXPECT_EQ(finished.at(0).at(0).toUrl().toLocalFile(), first);
    EXPECT_EQ(b.url().toLocalFile(), first);
    EXPECT_EQ(script(b, "location.href"), QUrl::fromLocalFile(first).toString(QUrl::FullyEncoded));
    // A page from disk runs no script of its own; its relative link points into the folder of the file.
    EXPECT_EQ(script(b, "String(document.documentElement.getAttribute('data-ran'))"), QStringLiteral("null"));
    EXPECT_EQ(b.links(), QStringList{QUrl::fromLocalFile(second).toString()});
}

TEST(BrowserEncoding, DeclaredEncodingsAndUndeclaredTextFilesAreEachReadRight)
{
    testsupport::TempDir t;
    const QString utf8 = t.file("u.html");
    testsupport::writeFile(utf8, "<html><head><meta charset=\"utf-8\"></head><body>" + QString::fromUtf16(u"Ёлка").toUtf8() + "</body></html>");
    const QString koi = t.file("k.htm");
    testsupport::writeFile(koi, "<html><head><META http-equiv=Content-Type content=\"text/html; charset=koi8-r\"></head><body>"
                                    "\xb3\xcc\xcb\xc1</body></html>");
    const QString bom = t.file("bom.html");
    testsupport::writeFile(bom, "\xEF\xBB\xBF<html><body>" + QString::fromUtf16(u"Ёлка").toUtf8() + "</body></html>");
    const QString text = t.file("t.txt");
    testsupport::writeFile(text, toCp1251(u"Ёлка"));

    WebEngineBrowser b;
    b.show();
    for (const QString& file : {utf8, koi, bom, text}) {
        SCOPED_TRACE(file.toStdString());
        b.navigateFile(file);
        ASSERT_TRUE(b.waitLoaded(20000));
        EXPECT_EQ(b.url().toLocalFile(), file);
        EXPECT_EQ(bodyText(b), QStringLiteral("Ёлка"));
    }
}
