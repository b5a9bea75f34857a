// The page tools on pages shown by the real browser engine: the page file's bytes, the shown
// document and the messages a user sees.
#include "NodeFixture.h"

#include "platform/web/WebEngineBrowser.h"
#include "web/PageHeader.h"
#include "web/UnitHtmlKategory.h"
#include "web/Unit_kyes.h"

#include <QAction>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpression>

namespace {

QString js(const QString& text)
{
    const QByteArray json = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(json.mid(1, json.size() - 2));
}

class PageToolsTest : public NodeTest {
protected:
    PageToolsTest() { platform::setBrowserFactory({}); }

    platform::BrowserControl* wb() const { return FormSlova->WB1; }
    void show(int i)
    {
        click(i);
        ASSERT_TRUE(wb()->waitLoaded(20000)) << wb()->url().toString().toStdString();
    }
    void reload()
    {
        ASSERT_TRUE(wb()->waitLoaded(20000));
    }
    // Selects the first occurrence of a text in the shown document, as a user would with the mouse.
    bool selectText(const QString& text)
    {
        return wb()
            ->runScript(QStringLiteral("(function (t) { var w = document.createTreeWalker(document.body, "
                                       "NodeFilter.SHOW_TEXT); var n; while ((n = w.nextNode())) { var i = "
                                       "n.data.indexOf(t); if (i >= 0) { var r = document.createRange(); "
                                       "r.setStart(n, i); r.setEnd(n, i + t.length); var s = window.getSelection(); "
                                       "s.removeAllRanges(); s.addRange(r); return true; } } return false; })(%1)")
                            .arg(js(text)))
            .toBool();
    }
    void clearSelection() { wb()->runScript(QStringLiteral("window.getSelection().removeAllRanges(); true")); }
    QStringList anchorTexts()
    {
        QStringList out;
        for (const auto& e : wb()->elements("A"))
            out.append(e.text);
        return out;
    }
    // The files of the catalog that were not there before.
    QStringList newFiles(const QMap<QString, QString>& before) const
    {
        QStringList out;
        for (const QString& p : snapshot(cat).keys())
            if (!before.contains(p))
                out.append(p);
        return out;
    }
};

const QByteArray kCutPage = "<!-- DownloadURL=\"http://a/\" -->\r\n<html><body>\r\n<p>Intro</p>\r\n"
                            "<p>Main text here</p>\r\n</body></html>\r\n";

} // namespace

TEST_F(PageToolsTest, DeleteStyleAndScriptsMarksTheWordsAndNothingElse)
{
    cat = makeCatalog("Project1", "A\r\n\tP\r\n\tR\r\n\tQ\r\n");
    const QByteArray page = "<html><body><a onclick=\"x()\" style=\"color:red\" href=\"#\">link</a>\r\n"
                            "<p>OnClick Style STYLE JavaScript \xCF\xF0\xE8\xE2\xE5\xF2</p></body></html>\r\n";
    write(cat + "P.htm", page);
    write(cat + "Q.htm", "<html><body><p>plain \xE0\xE1</p></body></html>\r\n");
    startHere();
    show(1);
    EXPECT_TRUE(wb()->runScript("document.querySelector('a').hasAttribute('onclick')").toBool());
    FormSlova->DeleteStyleHTMLClick();
    reload();
    EXPECT_EQ(read(cat + "P.htm"),
              QByteArray("<html><body><a o#nclick=\"x()\" s#tyle=\"color:red\" href=\"#\">link</a>\r\n"
                         "<p>OnClick Style STYLE J#avaScript \xCF\xF0\xE8\xE2\xE5\xF2</p></body></html>\r\n"));
    EXPECT_FALSE(wb()->runScript("document.querySelector('a').hasAttribute('onclick')").toBool());
    EXPECT_TRUE(dialogs->messages().isEmpty());

    // A page without the words is not written again.
    show(3);
    const QDateTime old = QDateTime::currentDateTime().addDays(-3);
    {
        QFile f(cat + "Q.htm");
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        ASSERT_TRUE(f.setFileTime(old, QFileDevice::FileModificationTime));
    }
    const auto before = snapshot(cat);
    FormSlova->DeleteStyleHTMLClick();
    EXPECT_EQ(snapshot(cat), before);
    // The hidden button runs the same tool.
    show(1);
    write(cat + "P.htm", "<p style=1>");
    FormSlova->DeleteStyleHTML->click();
    EXPECT_EQ(read(cat + "P.htm"), QByteArray("<p s#tyle=1>"));
}

TEST_F(PageToolsTest, TheCutKeepsTheHeaderAndItsUndoGivesThePageBack)
{
    cat = makeCatalog("Project1", "A\r\n\tP\r\n\tF\r\n");
    write(cat + "P.htm", kCutPage);
    write(cat + "F.htm", "<html><body>Top line\r\n<p>second</p></body></html>\r\n");
    startHere();
    show(1);
    EXPECT_FALSE(FormSlova->ButtonReturn->isVisible());
    clearSelection();
    FormSlova->ButtonDelSelection1Click();
    EXPECT_EQ(dialogs->messages(), QStringList{"Please select text."});
    ASSERT_TRUE(selectText("Main text"));
    FormSlova->ButtonDelSelection1Click();
    EXPECT_EQ(read(cat + "P.htm"),
              QByteArray("<!-- DownloadURL=\"http://a/\" -->\r\nMain text here</p>\r\n</body></html>\r\n"));
    EXPECT_TRUE(FormSlova->ButtonReturn->isVisible());
    reload();
    EXPECT_EQ(wb()->runScript("document.body.innerText").toString().trimmed(), "Main text here");
    // The backup lives in a folder of its own, never in the current folder.
    EXPECT_EQ(read(progFile("temp/pagetools/temp")), kCutPage);
    EXPECT_FALSE(QFileInfo::exists(cwd.path() + "temp"));

    // A second cut that finds nothing (the text stands only in the first body line now) keeps
    // the first backup.
    dialogs->clear();
    ASSERT_TRUE(selectText("here"));
    FormSlova->ButtonDelSelection1Click();
    EXPECT_EQ(dialogs->messages(), QStringList{"Do not find selection. Please select text befor you want delete tags"});
    EXPECT_EQ(read(progFile("temp/pagetools/temp")), kCutPage);
    FormSlova->ButtonReturn1Click();
    EXPECT_EQ(read(cat + "P.htm"), kCutPage);
    reload();

    // Text only in the first line of the body is not found; nothing changes.
    show(2);
    dialogs->clear();
    const auto before = snapshot(cat);
    ASSERT_TRUE(selectText("Top"));
    FormSlova->ButtonDelSelection1Click();
    EXPECT_EQ(dialogs->messages(), QStringList{"Do not find selection. Please select text befor you want delete tags"});
    EXPECT_EQ(snapshot(cat), before);
}

TEST_F(PageToolsTest, TheCutFindsCyrillicInTheEncodingOfThePage)
{
    cat = makeCatalog("Project1", "A\r\n\tW\r\n\tU\r\n");
    write(cat + "W.htm", "<html><body>\r\n<p>\xC2\xE2\xE5\xE4\xE5\xED\xE8\xE5</p>\r\n<p>\xD2\xE5\xEA\xF1\xF2 "
                         "\xE7\xE4\xE5\xF1\xFC</p>\r\n</body></html>\r\n");
    write(cat + "U.htm", QString::fromUtf8("<html><head><meta charset=\"utf-8\"></head><body>\r\n<p>Введение</p>\r\n"
                                           "<p>Текст здесь</p>\r\n</body></html>\r\n")
                             .toUtf8());
    startHere();
    show(1);
    ASSERT_TRUE(selectText(QString::fromUtf8("Текст")));
    FormSlova->ButtonDelSelection1Click();
    EXPECT_EQ(read(cat + "W.htm"), QByteArray("\xD2\xE5\xEA\xF1\xF2 \xE7\xE4\xE5\xF1\xFC</p>\r\n</body></html>\r\n"));
    show(2);
    ASSERT_TRUE(selectText(QString::fromUtf8("Текст")));
    FormSlova->ButtonDelSelection1Click();
    EXPECT_EQ(read(cat + "U.htm"), QString::fromUtf8("Текст здесь</p>\r\n</body></html>\r\n").toUtf8());
    EXPECT_TRUE(dialogs->messages().isEmpty()) << dialogs->messages().join('\n').toStdString();
}

TEST_F(PageToolsTest, TheCutChangesNothingOnAnotherPageOrWithoutItsBackup)
{
    cat = makeCatalog("Project1", "A\r\n\tP\r\n");
    write(cat + "P.htm", "<html><body>\r\n<p>Intro</p>\r\n<p><a href=\"other.htm\">go</a> Main text</p>\r\n</body></html>\r\n");
    write(cat + "other.htm", "<html><body>\r\n<p>x</p>\r\n<p>Main text elsewhere</p>\r\n</body></html>\r\n");
    startHere();
    show(1);
    const auto before = snapshot(cat);
    // A link followed inside the pane: the selection belongs to another page.
    wb()->runScript("document.querySelector('a').click(); true");
    // Shown when its text can be read: the engine's load signals may come in any order here.
    QDeadlineTimer deadline(20000);
    auto otherShown = [this] {
        return wb()->url().toLocalFile().endsWith("other.htm")
            && wb()->runScript("document.readyState == 'complete' && document.body.innerText").toString().contains(
                "elsewhere");
    };
    while (!otherShown() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    ASSERT_TRUE(otherShown());
    ASSERT_TRUE(selectText("Main text"));
    FormSlova->ButtonDelSelection1Click();
    EXPECT_EQ(dialogs->messages(), QStringList{"Do not find selection. Please select text befor you want delete tags"});
    EXPECT_EQ(snapshot(cat), before);

    // The backup's folder blocked by a file: the failure is reported and the page stays.
    wb()->navigateFile(cat + "P.htm");
    ASSERT_TRUE(wb()->waitLoaded(20000));
    write(progFile("temp/pagetools"), "in the way");
    dialogs->clear();
    ASSERT_TRUE(selectText("Main text"));
    FormSlova->ButtonDelSelection1Click();
    ASSERT_EQ(dialogs->messages().size(), 1);
    EXPECT_TRUE(dialogs->messages().at(0).startsWith("The backup of the page cannot be written to \"" + progFile("temp/pagetools/temp")))
        << dialogs->messages().at(0).toStdString();
    EXPECT_EQ(snapshot(cat), before);
    EXPECT_FALSE(FormSlova->ButtonReturn->isVisible());
}

TEST_F(PageToolsTest, ASelectedLinkBecomesATaskFileAndAChildNode)
{
    cat = makeCatalog("Project1", "A\r\n\tP\r\n\tN\r\n");
    write(cat + "P.htm", "<html><body>\r\n<p>Intro</p>\r\n<a href=\"sub/ex.htm\">Example site</a>\r\n</body></html>\r\n");
    write(cat + "N.htm", "<html><body><a href=\"http://n/1\">News</a> <a href=\"http://n/2\">News</a> "
                         "<a href=\"http://n/3\">Other</a></body></html>\r\n");
    startHere();
    FormSlova->DownloadselectedURL1Click();
    EXPECT_EQ(dialogs->messages(), QStringList{"The is no document"});
    show(1);
    dialogs->clear();
    ASSERT_TRUE(selectText("Intro"));
    FormSlova->DownloadselectedURL1Click();
    EXPECT_EQ(dialogs->messages(), QStringList{"Please select URL again."});

    dialogs->clear();
    auto before = snapshot(cat);
    ASSERT_TRUE(selectText("Example"));
    FormSlova->DownloadselectedURL1Click();
    EXPECT_TRUE(dialogs->messages().isEmpty()) << dialogs->messages().join('\n').toStdString();
    const QStringList made = newFiles(before).filter(QRegularExpression("\\.htm$"));
    ASSERT_EQ(made.size(), 1) << made.join(' ').toStdString();
    const QString address = QUrl::fromLocalFile(cat + "sub/ex.htm").toString();
    EXPECT_EQ(FindKomand(made.at(0), "DownloadURL"), address.toLower());
    const QString base = QFileInfo(made.at(0)).completeBaseName();
    EXPECT_EQ(texts(), (QStringList{"A", "P", base, "N"}));
    EXPECT_EQ(node(2)->parent(), node(1));
    EXPECT_EQ(static_cast<TTreeNode*>(node(2))->ImageIndex, 19);
    EXPECT_EQ(static_cast<TTreeNode*>(node(2))->SelectedIndex, 39);
    EXPECT_EQ(FormSlova->CurrentIndex, 1);
    ASSERT_TRUE(FormSlova->SaveTree());
    EXPECT_EQ(read(cat + "Menue_ind").split('\n').value(2).trimmed(), QByteArray("19"));

    // The same address again: its task file exists already.
    dialogs->clear();
    ASSERT_TRUE(selectText("Example"));
    FormSlova->DownloadselectedURL1Click();
    EXPECT_EQ(dialogs->messages(), QStringList{"File whth this URL olready exists"});
    EXPECT_EQ(texts().size(), 4);

    // Two links hold the selection: numbered marks in the shown page only.
    show(3);
    dialogs->clear();
    before = snapshot(cat);
    ASSERT_TRUE(selectText("News"));
    FormSlova->DownloadselectedURL1Click();
    EXPECT_EQ(dialogs->messages(), QStringList{"Find more then one selecrion."});
    EXPECT_EQ(anchorTexts(), (QStringList{"NewsN1", "NewsN2", "Other"}));
    EXPECT_EQ(snapshot(cat), before);
    EXPECT_EQ(texts().size(), 4);

    // A downloaded page leads to no local file of the user's, and a local document that is not a
    // page to nothing: its transformation made its link of its own path.
    write(cat + "D.htm", "<!-- DownloadURL=\"http://d/\" -->\r\n<html><body><a href=\"file:///etc/hosts\">Hosts</a></body></html>\r\n");
    write(cat + "L.xml", "<?xml version=\"1.0\"?><?xml-stylesheet type=\"text/xsl\" href=\"#s\"?><!DOCTYPE r [<!NOTATION n "
                         "SYSTEM \"n\"><!ENTITY e SYSTEM \"e\" NDATA n><!ATTLIST xsl:stylesheet id ID #IMPLIED>]><r><xsl:stylesheet "
                         "id=\"s\" version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\"><xsl:template match=\"/\">"
                         "<html><body><a href=\"http://d/?{unparsed-entity-uri('e')}\">Away</a></body></html></xsl:template>"
                         "</xsl:stylesheet></r>");
    before = snapshot(cat);
    for (const char* page : {"D.htm", "L.xml"}) {
        wb()->navigateFile(cat + page);
        ASSERT_TRUE(wb()->waitLoaded(20000));
        dialogs->clear();
        ASSERT_TRUE(selectText(page == QLatin1String("D.htm") ? "Hosts" : "Away")) << page;
        FormSlova->DownloadselectedURL1Click();
        EXPECT_EQ(dialogs->messages(), QStringList{"Please select URL again."}) << page;
    }
    EXPECT_EQ(snapshot(cat), before);
    EXPECT_EQ(texts().size(), 4);
}

TEST_F(PageToolsTest, ReReadPageMarksThePageAndItsNodeWhereverItMoved)
{
    cat = makeCatalog("Project1", "A\r\n\tX\r\n\tP\r\nB\r\n");
    write(cat + "P.htm", "<!-- Title=\"p\"-->\r\n<html><body>p</body></html>\r\n");
    startHere();
    show(2);
    // Another node moved above it: the absolute index of the current node is stale.
    tree()->topLevelItem(1)->setText(0, "B");
    QTreeWidgetItem* b = tree()->takeTopLevelItem(1);
    tree()->insertTopLevelItem(0, b);
    FormSlova->ButtonReReadFileClick();
    EXPECT_TRUE(read(cat + "P.htm").startsWith("<!-- Title=\"p\"-->\r\n"));
    EXPECT_TRUE(read(cat + "P.htm").contains(HeaderLines::DownloadMark));
    EXPECT_EQ(static_cast<TTreeNode*>(node(3))->ImageIndex, 19);
    EXPECT_EQ(static_cast<TTreeNode*>(node(2))->ImageIndex, 0);
    ASSERT_TRUE(FormSlova->SaveTree());
    EXPECT_EQ(read(cat + "Menue_ind").split('\n').value(3).trimmed(), QByteArray("19"));
}

TEST_F(PageToolsTest, InReadOnlyModeNoPageToolWritesAnything)
{
    cat = makeCatalog("Project1", "A\r\n\tP\r\n");
    write(cat + "P.htm", "<html><body>\r\n<p>Intro</p>\r\n<p style=1><a href=\"x.htm\">Main text</a></p>\r\n</body></html>\r\n");
    startHere();
    show(1);
    setReadOnly();
    const auto before = snapshot(cat);
    ASSERT_TRUE(selectText("Main text"));
    FormSlova->DeleteStyleHTMLClick();
    FormSlova->ButtonDelSelection1Click();
    FormSlova->ButtonReturn1Click();
    FormSlova->ButtonReReadFileClick();
    FormSlova->DownloadselectedURL1Click();
    if (FormHTMLKategory)
        FormHTMLKategory->HTMLSave();
    EXPECT_EQ(snapshot(cat), before);
    EXPECT_TRUE(dialogs->messages().isEmpty());
}

TEST_F(PageToolsTest, TimersWaitWhileAHandlerWaitsForTheEngine)
{
    cat = makeCatalog("Project1", "A\r\n\tP\r\n");
    write(cat + "P.htm", "<html><body><p>x</p></body></html>");
    startHere();
    EXPECT_TRUE(FormSlova->TreeTimerMayRun());
    // A timer firing inside the wait of a page command sees that it must wait for its next tick.
    bool mayRunInside = true;
    bool fired = false;
    QTimer::singleShot(0, [&] {
        fired = true;
        mayRunInside = FormSlova->TreeTimerMayRun();
    });
    FormSlova->WB1->navigateFile(cat + "P.htm");
    ASSERT_TRUE(FormSlova->WB1->waitLoaded(20000));
    ASSERT_TRUE(fired);
    EXPECT_FALSE(mayRunInside);
    EXPECT_TRUE(FormSlova->TreeTimerMayRun());
}
