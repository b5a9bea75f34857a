#include "WebFixture.h"

#include "platform/web/BrowserControl.h"
#include "web/PageMerge.h"

#include <QStringEncoder>

namespace {

// Merged pages in the real engine, which reads files without a declaration as Windows-1251.
class MergedTitleTest : public WebTest {
protected:
    MergedTitleTest() { platform::setBrowserFactory({}); }
    QString titleOf(const QByteArray& body, const QString& serverCharset)
    {
        const QByteArray task = "<!-- DownloadPage=\"True\"-->\r\n<!-- DownloadURL=\"http://h/p.htm\" -->\r\n";
        const QString file = cat + QStringLiteral("m%1.htm").arg(++n_);
        write(file, merge::mergedPage(task, body, serverCharset, merge::dateLine(1, QDateTime::currentDateTime()),
                                      QStringLiteral("http://h/p.htm")));
        std::unique_ptr<platform::BrowserControl> b(platform::createBrowser(nullptr));
        b->navigateFile(file);
        EXPECT_TRUE(b->waitLoaded(60000));
        return b->title();
    }
    int n_ = 0;
};

} // namespace

TEST_F(MergedTitleTest, EachPageKeepsItsTitle)
{
    startOn("a\r\n");
    const QString title = QStringLiteral("Привет, мир");
    const QString page = QStringLiteral("<html><head><title>%1</title></head><body>x</body></html>\n").arg(title);
    EXPECT_EQ(titleOf(QStringEncoder("KOI8-R").encode(page), "koi8-r"), title);
    EXPECT_EQ(titleOf("\xEF\xBB\xBF" + page.toUtf8(), QString()), title);
    QByteArray utf16("\xFF\xFE");
    utf16 += QByteArray(reinterpret_cast<const char*>(page.utf16()), page.size() * 2);
    EXPECT_EQ(titleOf(utf16, QString()), title);
}
