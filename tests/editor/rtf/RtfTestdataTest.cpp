// The public RTF test files: every one loads, keeps its text and pictures across a save, and
// reads as the plain text that the converter suites expect.
#include "platform/richedit/RichFormat.h"

#include "support/TestSupport.h"

#include <QDirIterator>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTextBlock>
#include <QTextDocument>
#include <QXmlStreamReader>
#include <gtest/gtest.h>

using namespace platform;
using testsupport::readFile;
using testsupport::testdataDir;

namespace {

QStringList rtfFiles()
{
    QStringList files;
    QDirIterator it(testdataDir() + "/rtf", {"*.rtf"}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << it.next();
    files.sort();
    return files;
}

QString rawText(const QTextDocument& doc)
{
    return doc.toRawText().replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
}

// The document's text as a plain-text export shows it: paragraphs and \line breaks on lines of
// their own, objects and pictures left out.
QString exportText(const QTextDocument& doc)
{
    QString t = rawText(doc);
    t.replace(QChar(0x2028), QLatin1Char('\n'));
    t.remove(QChar::ObjectReplacementCharacter);
    return t;
}

// Whitespace differences allowed against the expected texts: a run of blanks, tabs and line
// breaks counts as one blank, and blanks at either end do not count. The expected texts of
// tables end every cell with "|" where our document separates cells by a tab.
QString normalized(QString s, bool table)
{
    if (table)
        s.replace(QLatin1Char('|'), QLatin1Char(' '));
    QString out;
    bool blank = false;
    for (QChar c : s) {
        if (c.isSpace() && c != QChar(0xA0)) {
            blank = true;
            continue;
        }
        if (blank && !out.isEmpty())
            out += QLatin1Char(' ');
        blank = false;
        out += c;
    }
    return out;
}

// Where the expected texts show more than the document holds (each documented in the test):
//  - striprtf writes a hyperlink field's target after its text as ("target"); the document keeps
//    the field's result text only (the target stays in the field instruction);
//  - striprtf writes list texts ("10.") of \listtext; the document holds numbering as paragraph
//    properties, not as text;
//  - encoding.rtf holds a second RTF document after the first one's closing brace, which is not
//    part of the document.
QString expectedAdjusted(const QString& base, QString want)
{
    static const QRegularExpression link(QStringLiteral("\\(\"[^\"]*\"\\)"));
    want.remove(link);
    if (base == QLatin1String("encoding"))
        want.truncate(want.indexOf(QLatin1String("Text2:")));
    if (base == QLatin1String("issue_63"))
        want.remove(QLatin1String("10.\t"));
    return want;
}

QList<QTextImageFormat> pictures(const QTextDocument& doc)
{
    QList<QTextImageFormat> list;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next())
        for (auto it = b.begin(); !it.atEnd(); ++it)
            if (it.fragment().charFormat().isImageFormat())
                list << it.fragment().charFormat().toImageFormat();
    return list;
}

} // namespace

TEST(RtfTestdata, EveryFileLoadsAndSavesStably)
{
    MV_REQUIRE_TESTDATA();
    const QStringList files = rtfFiles();
    ASSERT_GT(files.size(), 40);
    for (const QString& path : files) {
        SCOPED_TRACE(path.toStdString());
        const QByteArray data = readFile(path);
        QTextDocument doc1;
        QString error;
        bool cutShort = true;
        ASSERT_TRUE(ReadRtf(data, doc1, &error, &cutShort)) << error.toStdString();
        EXPECT_FALSE(cutShort) << "a file other readers read whole counts as damaged";
        // Files whose writer left out the last braces are read whole as well.
        for (qsizetype end = data.size(); end > 0 && QByteArrayView("}\r\n ").contains(data[end - 1]);) {
            --end;
            if (data[end] != '}')
                continue;
            QTextDocument cut;
            ASSERT_TRUE(ReadRtf(data.first(end), cut, &error, &cutShort));
            EXPECT_FALSE(cutShort) << "without its last " << data.size() - end << " bytes";
        }
        const QByteArray save1 = WriteRtf(doc1);
        ASSERT_TRUE(save1.startsWith("{\\rtf1\\ansi\\ansicpg1251\\deff0"));
        QTextDocument doc2;
        ASSERT_TRUE(ReadRtf(save1, doc2, &error)) << error.toStdString();
        EXPECT_EQ(rawText(doc2), rawText(doc1));
        const QByteArray save2 = WriteRtf(doc2);
        EXPECT_EQ(save2, save1);
        // Pictures keep their bytes.
        const auto p1 = pictures(doc1), p2 = pictures(doc2);
        ASSERT_EQ(p1.size(), p2.size());
        for (qsizetype i = 0; i < p1.size(); ++i)
            EXPECT_EQ(richPicture(p1[i]).bytes, richPicture(p2[i]).bytes);
    }
}

TEST(RtfTestdata, PlainTextMatchesTheConverterSuites)
{
    MV_REQUIRE_TESTDATA();
    const QString dir = testdataDir() + "/rtf/striprtf/";
    const QStringList expected = QDir(dir + "text").entryList({"*.txt"}, QDir::Files, QDir::Name);
    ASSERT_GT(expected.size(), 20);
    int compared = 0;
    for (const QString& name : expected) {
        const QString base = QFileInfo(name).completeBaseName();
        const QString rtfPath = dir + "rtf/" + base + ".rtf";
        if (!QFileInfo::exists(rtfPath))
            continue;
        SCOPED_TRACE(base.toStdString());
        QTextDocument doc;
        ASSERT_TRUE(ReadRtf(readFile(rtfPath), doc));
        const QString want = expectedAdjusted(base, QString::fromUtf8(readFile(dir + "text/" + name)));
        const bool table = want.contains(QLatin1Char('|'));
        EXPECT_EQ(normalized(exportText(doc), table).toStdString(), normalized(want, table).toStdString());
        ++compared;
    }
    EXPECT_GT(compared, 20);
    const QString kit = testdataDir() + "/rtf/rtfparserkit/converter/text/data/testTextConversion";
    QTextDocument doc;
    ASSERT_TRUE(ReadRtf(readFile(kit + ".rtf"), doc));
    EXPECT_EQ(normalized(exportText(doc), false).toStdString(),
              normalized(QString::fromUtf8(readFile(kit + ".txt")), false).toStdString());
}

namespace {

// The body text of a parser expectation file: the characters outside the font and colour
// tables, style sheets, info and optional (\*) destinations, with \par and \line as breaks.
QString expectationText(QByteArray xml)
{
    // Control characters of list level texts are not allowed in XML.
    for (char& c : xml)
        if (uchar(c) < 0x20 && c != '\t' && c != '\n' && c != '\r')
            c = ' ';
    QXmlStreamReader r(xml);
    struct G {
        bool skip = false;
        bool first = true;
    };
    QList<G> stack;
    QString text;
    static const QStringList skipped = {"fonttbl", "colortbl", "info", "stylesheet", "pntext",
                                        "listtext", "fldinst", "header", "footer", "listtable",
                                        "listoverridetable", "nonshppict", "pict", "upr"};
    while (!r.atEnd()) {
        r.readNext();
        if (r.isStartElement()) {
            const QString n = r.name().toString();
            if (n == "group") {
                G g;
                g.skip = !stack.isEmpty() && stack.last().skip;
                stack << g;
            } else if (n == "command" && !stack.isEmpty()) {
                const QString cmd = r.attributes().value("name").toString();
                if (stack.last().first && (skipped.contains(cmd) || r.attributes().value("optional") == QLatin1String("true")))
                    stack.last().skip = true;
                stack.last().first = false;
                if (!stack.last().skip && (cmd == "par" || cmd == "line"))
                    text += '\n';
                if (!stack.last().skip && cmd == "tab")
                    text += '\t';
            } else if (n == "chars" && !stack.isEmpty()) {
                stack.last().first = false;
                const QString chars = r.readElementText();
                if (!stack.last().skip)
                    text += chars;
            }
        } else if (r.isEndElement() && r.name() == QLatin1String("group") && !stack.isEmpty()) {
            stack.removeLast();
        }
    }
    EXPECT_FALSE(r.hasError()) << r.errorString().toStdString();
    return text;
}

} // namespace

TEST(RtfTestdata, TextMatchesTheParserExpectations)
{
    MV_REQUIRE_TESTDATA();
    const QString dir = testdataDir() + "/rtf/rtfparserkit/parser/standard/data/";
    const QStringList xmls = QDir(dir).entryList({"*.xml"}, QDir::Files, QDir::Name);
    ASSERT_GT(xmls.size(), 15);
    for (const QString& name : xmls) {
        const QString base = QFileInfo(name).completeBaseName();
        SCOPED_TRACE(base.toStdString());
        QTextDocument doc;
        ASSERT_TRUE(ReadRtf(readFile(dir + base + ".rtf"), doc));
        EXPECT_EQ(normalized(exportText(doc), false).toStdString(),
                  normalized(expectationText(readFile(dir + name)), false).toStdString());
    }
}
