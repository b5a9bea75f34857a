// What a note read from RTF holds: its text, paragraphs and exact measures.
#include "platform/richedit/RichFormat.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <gtest/gtest.h>

using namespace platform;

namespace {

QString readText(const QByteArray& rtf)
{
    QTextDocument doc;
    QString error;
    EXPECT_TRUE(ReadRtf(rtf, doc, &error)) << error.toStdString();
    return doc.toRawText().replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
}

// Character format of the character at index (0-based) of the document's text.
QTextCharFormat formatAt(QTextDocument& doc, int index)
{
    QTextCursor c(&doc);
    c.setPosition(index + 1);
    return c.charFormat();
}

} // namespace

TEST(RtfReaderCodePages, HexBytesFollowTheFontCharset)
{
    const QString pri = QString::fromUtf8("При");
    EXPECT_EQ(readText("{\\rtf1\\ansi{\\fonttbl{\\f0\\fcharset204 Arial;}}\\f0 \\'cf\\'f0\\'e8}"), pri);
    EXPECT_EQ(readText("{\\rtf1\\ansi\\ansicpg1251{\\fonttbl{\\f0\\fcharset0 Arial;}}\\f0 \\'cf\\'f0\\'e8}"),
              QString::fromUtf8("Ïðè"));
    // No charset: the document's code page.
    EXPECT_EQ(readText("{\\rtf1\\ansi\\ansicpg1251 \\'cf\\'f0\\'e8}"), pri);
    EXPECT_EQ(readText("{\\rtf1\\ansi\\ansicpg1251{\\fonttbl{\\f0 Arial;}}\\f0 \\'cf\\'f0\\'e8}"), pri);
    // Two fonts of different charsets in one paragraph.
    EXPECT_EQ(readText("{\\rtf1\\ansi{\\fonttbl{\\f0\\fcharset204 A;}{\\f1\\fcharset161 B;}}"
                       "\\f0\\'c0\\f1\\'c1}"),
              QString::fromUtf8("АΑ"));
    // The face's real name wins over a charset-specific one.
    QTextDocument doc;
    ASSERT_TRUE(ReadRtf("{\\rtf1{\\fonttbl{\\f0\\fcharset204{\\*\\fname Arial;}Arial CYR;}}\\f0 \\'cf}", doc));
    QTextCursor c(&doc);
    c.setPosition(1);
    EXPECT_EQ(richCharProps(c.charFormat()).face, "Arial");
    // An unknown font falls back to the document's code page.
    EXPECT_EQ(readText("{\\rtf1\\ansi\\ansicpg1251\\f9999 \\'cf}"), QString::fromUtf8("П"));
    // OEM fonts are the Russian OEM code page 866, not the Western 850.
    EXPECT_EQ(readText("{\\rtf1\\ansi\\ansicpg1251{\\fonttbl{\\f0\\fcharset255 Terminal;}}\\f0 \\'8f\\'e0\\'a8\\'9f}"),
              QString::fromUtf8("ПриЯ"));
}

TEST(RtfReaderCodePages, UnknownCharsetsReadInTheDocumentCodePage)
{
    // Mac Word writes \fcharset256 for its Roman fonts: Mac Roman 8E is "é", not OEM Cyrillic.
    EXPECT_EQ(readText("{\\rtf1\\mac{\\fonttbl{\\f0\\fcharset256 Helvetica;}}\\f0 caf\\'8e}"),
              QString::fromUtf8("café"));
    for (const char* charset : {"\\fcharset300", "\\fcharset-7", "\\fcharset99999999999", "\\fcharset3"}) {
        SCOPED_TRACE(charset);
        EXPECT_EQ(readText(QByteArray("{\\rtf1\\ansi\\ansicpg1251{\\fonttbl{\\f0") + charset +
                           " Arial;}}\\f0 \\'cf\\'f0\\'e8}"),
                  QString::fromUtf8("При"));
    }
    // The known OEM charset stays OEM.
    EXPECT_EQ(readText("{\\rtf1\\mac{\\fonttbl{\\f0\\fcharset255 Terminal;}}\\f0 \\'8f}"), QString::fromUtf8("П"));
}

TEST(RtfReaderCodePages, DoubleByteRunsDecodeTogether)
{
    // Shift_JIS "あ" is 82 A0; a lead byte may be followed by a literal trail byte.
    EXPECT_EQ(readText("{\\rtf1\\ansi{\\fonttbl{\\f0\\fcharset128 MS Mincho;}}\\f0 \\'82\\'a0\\'83A}"),
              QString::fromUtf8("あア"));
    EXPECT_EQ(readText("{\\rtf1\\ansi\\ansicpg936{\\fonttbl{\\f0\\fcharset134 SimSun;}}\\f0 \\'c4\\'e3}"),
              QString::fromUtf8("你"));
}

TEST(RtfReaderUnicode, SkipsFallbackCharacters)
{
    EXPECT_EQ(readText("{\\rtf1\\uc1\\u1055?\\u1088?}"), QString::fromUtf8("Пр"));
    EXPECT_EQ(readText("{\\rtf1\\uc0\\u1055\\u1088 x}"), QString::fromUtf8("Прx"));
    EXPECT_EQ(readText("{\\rtf1\\uc2\\u1055\\'cf\\'cf\\u1088??y}"), QString::fromUtf8("Прy"));
    // A fallback that is a control word counts as one character.
    EXPECT_EQ(readText("{\\rtf1\\uc1\\u1055\\tab z}"), QString::fromUtf8("Пz"));
    // \uc is scoped by groups.
    EXPECT_EQ(readText("{\\rtf1\\uc1{\\uc2\\u1055ab}\\u1088cd}"), QString::fromUtf8("Прd"));
    // Negative values and surrogate pairs: one character outside the basic plane.
    const QString emoji = readText("{\\rtf1\\u-10179?\\u-8694?}");
    ASSERT_EQ(emoji.size(), 2);
    EXPECT_EQ(emoji.toUcs4().size(), 1);
    EXPECT_EQ(emoji.toUcs4().first(), 0x1F60A);
    // A lone surrogate is not kept as such.
    EXPECT_EQ(readText("{\\rtf1\\u-10179?x}"), QString(QChar::ReplacementCharacter) + "x");
}

TEST(RtfReaderParagraphs, ParCounts)
{
    QTextDocument doc;
    ASSERT_TRUE(ReadRtf("{\\rtf1 abc\\par}", doc));
    EXPECT_EQ(doc.blockCount(), 1);
    EXPECT_EQ(doc.toPlainText(), "abc");
    ASSERT_TRUE(ReadRtf("{\\rtf1 abc\\par\\par}", doc));
    EXPECT_EQ(doc.blockCount(), 2);
    ASSERT_TRUE(ReadRtf("{\\rtf1 abc}", doc));
    EXPECT_EQ(doc.blockCount(), 1);
    ASSERT_TRUE(ReadRtf("{\\rtf1 a\\par b\\par c}", doc));
    EXPECT_EQ(doc.toPlainText(), "a\nb\nc");
    // A section break ends the section's last paragraph, as a page break does.
    EXPECT_EQ(readText("{\\rtf1 a\\sect\\sectd b\\page c\\sect}"), "a\nb\nc");
    EXPECT_EQ(readText("{\\rtf1 a\\line b\\tab c}"), QString("a") + QChar(0x2028) + "b\tc");
    EXPECT_EQ(readText("{\\rtf1 a\\~b\\-c\\_d\\\\\\{\\}}"),
              QString("a") + QChar(0xA0) + "b" + QChar(0xAD) + "c" + QChar(0x2011) + "d\\{}");
}

TEST(RtfReaderParagraphs, ExactMeasures)
{
    QTextDocument doc;
    ASSERT_TRUE(ReadRtf("{\\rtf1\\pard\\li567\\fi-283\\ri100\\sb120\\sa240\\sl-300\\slmult0\\qj"
                        "\\tqr\\tldot\\tx5000\\tx6000 text\\par}",
                        doc));
    const RichParaProps p = richParaProps(doc.begin().blockFormat());
    EXPECT_EQ(p.leftIndent, 567);
    EXPECT_EQ(p.firstIndent, -283);
    EXPECT_EQ(p.rightIndent, 100);
    EXPECT_EQ(p.spaceBefore, 120);
    EXPECT_EQ(p.spaceAfter, 240);
    EXPECT_EQ(p.lineSpacing, -300);
    EXPECT_EQ(p.lineSpacingRule(), 4);
    EXPECT_EQ(p.alignment, RichAlignment::Justify);
    ASSERT_EQ(p.tabs.size(), 2);
    EXPECT_EQ(p.tabs[0], (RichTab{5000, RichTabKind::Right, RichTabLeader::Dots}));
    EXPECT_EQ(p.tabs[1], (RichTab{6000, RichTabKind::Left, RichTabLeader::None}));

    // The rich edit's view: first line 360 from the margin, following lines 360 further.
    ASSERT_TRUE(ReadRtf("{\\rtf1\\li720\\fi-360 x\\par}", doc));
    const RichParaProps q = richParaProps(doc.begin().blockFormat());
    EXPECT_EQ(q.startIndent() / 20, 18);
    EXPECT_EQ(q.offset() / 20, 18);
}

TEST(RtfReaderParagraphs, PropertiesBelongToTheirParagraph)
{
    QTextDocument doc;
    ASSERT_TRUE(ReadRtf("{\\rtf1\\pard\\qc one\\par\\pard two\\par\\qr three}", doc));
    ASSERT_EQ(doc.blockCount(), 3);
    EXPECT_EQ(richParaProps(doc.findBlockByNumber(0).blockFormat()).alignment, RichAlignment::Center);
    EXPECT_EQ(richParaProps(doc.findBlockByNumber(1).blockFormat()).alignment, RichAlignment::Left);
    EXPECT_EQ(richParaProps(doc.findBlockByNumber(2).blockFormat()).alignment, RichAlignment::Right);
}

TEST(RtfReaderCharacters, FormatsAndSizes)
{
    QTextDocument doc;
    ASSERT_TRUE(ReadRtf("{\\rtf1\\ansi{\\fonttbl{\\f0\\fswiss\\fprq2\\fcharset204 Arial;}{\\f1\\fmodern "
                        "Courier New;}}{\\colortbl ;\\red255\\green0\\blue0;\\red0\\green255\\blue0;}"
                        "\\f0\\fs23 a\\b b\\b0\\i c\\i0\\ul d\\ulnone\\uldb e\\ulnone\\strike f\\strike0"
                        "\\v g\\v0\\protect h\\protect0\\super i\\nosupersub\\cf1 j\\cf0\\highlight2 k"
                        "\\highlight0\\f1\\fs24 l}",
                        doc));
    ASSERT_EQ(doc.toPlainText(), "abcdefghijkl");
    const RichCharProps a = richCharProps(formatAt(doc, 0));
    EXPECT_EQ(a.face, "Arial");
    EXPECT_EQ(a.charset, 204);
    EXPECT_EQ(a.pitch, 2);
    EXPECT_EQ(a.family, RichFontFamily::Swiss);
    EXPECT_EQ(a.halfPoints, 23);
    EXPECT_EQ(a.halfPoints / 2, 11); // the attributes layer shows whole points
    EXPECT_TRUE(a.autoColor);
    EXPECT_TRUE(richCharProps(formatAt(doc, 1)).bold);
    EXPECT_TRUE(richCharProps(formatAt(doc, 2)).italic);
    EXPECT_EQ(richCharProps(formatAt(doc, 3)).underline, RichUnderlineKind::Single);
    EXPECT_EQ(richCharProps(formatAt(doc, 4)).underline, RichUnderlineKind::Double);
    EXPECT_TRUE(richCharProps(formatAt(doc, 5)).strike);
    EXPECT_TRUE(richCharProps(formatAt(doc, 6)).hidden);
    EXPECT_TRUE(richCharProps(formatAt(doc, 7)).protect);
    EXPECT_TRUE(richCharProps(formatAt(doc, 8)).superscript);
    const RichCharProps j = richCharProps(formatAt(doc, 9));
    EXPECT_FALSE(j.autoColor);
    EXPECT_EQ(j.color, QColor(255, 0, 0));
    EXPECT_EQ(richCharProps(formatAt(doc, 10)).highlight, QColor(0, 255, 0));
    const RichCharProps l = richCharProps(formatAt(doc, 11));
    EXPECT_EQ(l.face, "Courier New");
    EXPECT_EQ(l.halfPoints, 24);
    EXPECT_FALSE(l.bold);
}

TEST(RtfReaderCharacters, GroupsRestoreFormatting)
{
    QTextDocument doc;
    ASSERT_TRUE(ReadRtf("{\\rtf1 a{\\b b{\\i c}d}e\\plain f}", doc));
    ASSERT_EQ(doc.toPlainText(), "abcdef");
    EXPECT_FALSE(richCharProps(formatAt(doc, 0)).bold);
    EXPECT_TRUE(richCharProps(formatAt(doc, 1)).bold);
    EXPECT_TRUE(richCharProps(formatAt(doc, 2)).italic);
    EXPECT_TRUE(richCharProps(formatAt(doc, 3)).bold);
    EXPECT_FALSE(richCharProps(formatAt(doc, 3)).italic);
    EXPECT_FALSE(richCharProps(formatAt(doc, 4)).bold);
}

TEST(RtfReaderDestinations, SkippedAndKept)
{
    EXPECT_EQ(readText("{\\rtf1{\\*\\unknown hidden}{\\info{\\title t}}{\\stylesheet{\\s0 Normal;}}"
                       "{\\header h}shown\\par}"),
              "shown");
    // Fields keep their result and remember the instruction.
    QTextDocument doc;
    ASSERT_TRUE(ReadRtf("{\\rtf1 go {\\field{\\*\\fldinst{HYPERLINK \"https://example.org\"}}"
                        "{\\fldrslt{\\ul example}}} now}",
                        doc));
    EXPECT_EQ(doc.toPlainText(), "go example now");
    EXPECT_EQ(formatAt(doc, 4).stringProperty(RichProp::FieldInstruction),
              "HYPERLINK \"https://example.org\"");
    EXPECT_FALSE(formatAt(doc, 11).hasProperty(RichProp::FieldInstruction));
    // Unicode parts of \upr are read, the ANSI ones not.
    EXPECT_EQ(readText("{\\rtf1{\\upr{ansi}{\\*\\ud{uni}}}x}"), "unix");
}

TEST(RtfReaderDestinations, TablesBecomeTabSeparatedParagraphs)
{
    QTextDocument doc;
    ASSERT_TRUE(ReadRtf("{\\rtf1\\trowd\\cellx1000\\cellx2000 \\intbl foo\\cell bar\\cell\\row"
                        "\\trowd\\cellx1000\\cellx2000 \\intbl 1\\cell 2\\cell\\row after\\par}",
                        doc));
    EXPECT_EQ(doc.toPlainText(), "foo\tbar\n1\t2\nafter");
}

TEST(RtfReaderNumbering, BulletsAndNumbers)
{
    QTextDocument doc;
    ASSERT_TRUE(ReadRtf("{\\rtf1{\\fonttbl{\\f0 Arial;}{\\f1\\fcharset2 Symbol;}}"
                        "\\pard{\\pntext\\f1\\'b7\\tab}{\\*\\pn\\pnlvlblt\\pnf1\\pnindent360{\\pntxtb\\'b7}}"
                        "\\fi-360\\li360 one\\par{\\pntext\\f1\\'b7\\tab}two\\par"
                        "\\pard{\\pntext 1.\\tab}{\\*\\pn\\pnlvlbody\\pndec\\pnstart1{\\pntxta .}}three\\par"
                        "\\pard plain\\par}",
                        doc));
    EXPECT_EQ(doc.toPlainText(), "one\ntwo\nthree\nplain");
    const RichNumbering one = richParaProps(doc.findBlockByNumber(0).blockFormat()).numbering;
    EXPECT_EQ(one.kind, RichNumberingKind::Bullet);
    EXPECT_EQ(one.tab, 360);
    EXPECT_EQ(one.font, "Symbol");
    EXPECT_EQ(one.textBefore, QString(QChar(0xB7)));
    EXPECT_EQ(richParaProps(doc.findBlockByNumber(1).blockFormat()).numbering.kind, RichNumberingKind::Bullet);
    const RichNumbering three = richParaProps(doc.findBlockByNumber(2).blockFormat()).numbering;
    EXPECT_EQ(three.kind, RichNumberingKind::Arabic);
    EXPECT_EQ(three.style, RichNumberingStyle::Period);
    EXPECT_EQ(richParaProps(doc.findBlockByNumber(3).blockFormat()).numbering.kind, RichNumberingKind::None);
}

TEST(RtfReaderNumbering, ListTables)
{
    QTextDocument doc;
    ASSERT_TRUE(ReadRtf("{\\rtf1{\\*\\listtable{\\list\\listtemplateid1{\\listlevel\\levelnfc0\\levelstartat3"
                        "{\\leveltext\\'02\\'00.;}{\\levelnumbers\\'01;}}{\\listname ;}\\listid77}}"
                        "{\\*\\listoverridetable{\\listoverride\\listid77\\listoverridecount0\\ls1}}"
                        "\\pard\\ls1\\ilvl0{\\listtext 3.\\tab}item\\par}",
                        doc));
    EXPECT_EQ(doc.toPlainText(), "item");
    const RichNumbering n = richParaProps(doc.begin().blockFormat()).numbering;
    EXPECT_EQ(n.kind, RichNumberingKind::Arabic);
    EXPECT_EQ(n.start, 3);
}

TEST(RtfReaderInput, RefusesWhatIsNotRtf)
{
    QTextDocument doc;
    QString error;
    EXPECT_FALSE(ReadRtf("plain text", doc, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(ReadRtf("", doc, &error));
    EXPECT_FALSE(ReadRtf(" {\\rtf1 x}", doc, &error));
    EXPECT_FALSE(ReadRtf("\xEF\xBB\xBFplain", doc, &error));
    // A UTF-8 byte-order mark before the RTF, as some editors write it, is no part of it.
    EXPECT_EQ(readText("\xEF\xBB\xBF{\\rtf1 x}"), "x");
}

TEST(RtfReaderInput, DamagedInputReadsWhatIsThere)
{
    EXPECT_EQ(readText("{\\rtf1 abc{\\b def"), "abcdef");
    EXPECT_EQ(readText("{\\rtf1 abc}}}} trailing"), "abc");
    EXPECT_EQ(readText("{\\rtf1 a\\'4"), "a\x04");
    EXPECT_EQ(readText("{\\rtf1 a\\bin999999 xyz}"), "a");
    // Braces in binary data are data, wherever the data is.
    EXPECT_EQ(readText("{\\rtf1{\\fonttbl\\bin3 }}}{\\f0 A;}}a\\bin2 {{b}"), "ab");
    EXPECT_EQ(readText("{\\rtf1 a\\"), "a");

    // What counts as damaged: text that could not be read, not braces left out at the end.
    auto cutShort = [](const QByteArray& rtf) {
        QTextDocument doc;
        bool cut = false;
        EXPECT_TRUE(ReadRtf(rtf, doc, nullptr, &cut)) << rtf.constData();
        return cut;
    };
    for (const char* whole : {"{\\rtf1 abc{\\b def", "{\\rtf1 abc}}}} trailing", "{\\rtf1 a\\'4",
                              "{\\rtf1 a{\\*\\datastore 0105", "{\\rtf1{\\fonttbl{\\f0 A;}}a\\par{\\*\\datastore 01}",
                              "{\\rtf1 a{\\pict\\pngblip 00}b", "{\\rtf1 a{\\{}"})
        EXPECT_FALSE(cutShort(whole)) << whole;
    for (const char* damaged : {"{\\rtf1 a\\bin999999 xyz}", "{\\rtf1{\\fonttbl{\\f0 A;}\\pard a\\par}",
                                "{\\rtf1 a\\par{\\*\\generator W;\\pard b\\par}", "{\\rtf1 a{\\*\\unknown \\par b",
                                "{\\rtf1 a{\\pict\\pngblip 0011", "{\\rtf1 a{\\pict\\pngblip\\bin9 01}}",
                                "{\\rtf1 a{\\*\\unknown\\bin99 x}b}"})
        EXPECT_TRUE(cutShort(damaged)) << damaged;
}

TEST(RtfReaderInput, DeepNestingIsBounded)
{
    QByteArray rtf = "{\\rtf1 a";
    rtf += QByteArray(1'000'000, '{');
    rtf += "b";
    QTextDocument doc;
    ASSERT_TRUE(ReadRtf(rtf, doc));
    EXPECT_EQ(doc.toPlainText(), "ab");
    rtf = "{\\rtf1 a" + QByteArray(100'000, '{') + "b" + QByteArray(100'000, '}') + "c}";
    ASSERT_TRUE(ReadRtf(rtf, doc));
    EXPECT_EQ(doc.toPlainText(), "abc");
}

TEST(RtfReaderInput, TextDeeperThanTheGroupLimitIsKept)
{
    // Every level holds a letter and a destination (bookmark, unknown optional one, font table,
    // info, list table, field instruction); each letter is there and so is the text after it.
    const char* destinations[] = {"{\\*\\bkmkstart k}", "{\\*\\unknownword x}", "{\\fonttbl{\\f0 A;}}",
                                  "{\\info{\\title t}}", "{\\*\\listtable{\\list\\listid1}}",
                                  "{\\field{\\*\\fldinst HYPERLINK \"x\"}{\\fldrslt L}}"};
    const int depth = 2700;
    for (const char* dest : destinations) {
        SCOPED_TRACE(dest);
        QByteArray rtf = "{\\rtf1 ";
        QString want;
        for (int i = 0; i < depth; ++i) {
            const char letter = char('a' + i % 26);
            rtf += '{';
            rtf += letter;
            rtf += dest;
            want += QLatin1Char(letter);
            if (QByteArray(dest).contains("fldrslt"))
                want += QLatin1Char('L');
        }
        rtf += QByteArray(depth, '}') + " end}";
        EXPECT_EQ(readText(rtf), want + " end");
    }
    // Formatting outside the deep part comes back when it closes.
    QTextDocument doc;
    QByteArray rtf = "{\\rtf1 {\\i " + QByteArray(depth, '{') + "\\b x{\\*\\bkmkstart k}" + QByteArray(depth, '}') +
                     "y}z}";
    ASSERT_TRUE(ReadRtf(rtf, doc));
    EXPECT_EQ(doc.toPlainText(), "xyz");
    EXPECT_TRUE(richCharProps(formatAt(doc, 1)).italic);
    EXPECT_FALSE(richCharProps(formatAt(doc, 2)).italic);
    EXPECT_FALSE(richCharProps(formatAt(doc, 2)).bold);
}

TEST(RtfReaderDestinations, NestedTableRowsAreRowsOfTheirOwn)
{
    // As Word writes it: the nested cells' text, then the nested row's properties ending with
    // \nestrow, and a paragraph for readers that know no nested tables.
    QTextDocument doc;
    ASSERT_TRUE(ReadRtf("{\\rtf1\\trowd\\cellx5000\\cellx9000\\pard\\intbl\\itap2 a1\\nestcell a2\\nestcell"
                        "{\\*\\nesttableprops\\trowd\\cellx1000\\cellx2000\\nestrow}{\\nonesttables\\par}"
                        "\\pard\\intbl\\itap2 b1\\nestcell b2\\nestcell"
                        "{\\*\\nesttableprops\\trowd\\cellx1000\\cellx2000\\nestrow}{\\nonesttables\\par}"
                        "\\pard\\intbl\\itap1 \\cell outer\\cell\\row after\\par}",
                        doc));
    EXPECT_EQ(doc.toPlainText(), "a1\ta2\nb1\tb2\n\touter\nafter");
    // Cell text a writer put inside the nested row's properties is text of that row.
    EXPECT_EQ(readText("{\\rtf1\\intbl\\itap2{\\*\\nesttableprops\\trowd\\cellx1000 x\\nestcell y\\nestcell\\nestrow}"
                       "z\\cell\\row}"),
              "x\ty\nz");
}

TEST(RtfReaderAt, InsertsAtTheCursor)
{
    QTextDocument doc;
    doc.setPlainText("AD");
    QTextCursor c(&doc);
    c.setPosition(1);
    ASSERT_TRUE(ReadRtfAt("{\\rtf1 {\\b B}C}", c));
    EXPECT_EQ(doc.toPlainText(), "ABCD");
    EXPECT_TRUE(richCharProps(formatAt(doc, 1)).bold);
    // A paragraph mark at the end of what is inserted is inserted too (a copied line).
    c.setPosition(4);
    ASSERT_TRUE(ReadRtfAt("{\\rtf1 E\\par}", c));
    EXPECT_EQ(doc.toPlainText(), "ABCDE\n");
    // Copy and paste of a selection keeps what was selected.
    QTextCursor sel(&doc);
    sel.setPosition(1);
    sel.setPosition(3, QTextCursor::KeepAnchor);
    QTextDocument other;
    other.setPlainText("xy");
    QTextCursor at(&other);
    at.setPosition(1);
    ASSERT_TRUE(ReadRtfAt(WriteRtf(sel), at));
    EXPECT_EQ(other.toPlainText(), "xBCy");
}

TEST(RtfReaderInput, HostileInputStaysBounded)
{
    QTextDocument doc;
    // \bin longer than the file, a huge picture size, odd hex digits, an unknown font.
    ASSERT_TRUE(ReadRtf("{\\rtf1{\\pict\\pngblip\\picw99999\\pich99999\\bin2000000000 abc}}", doc));
    const QTextImageFormat big = formatAt(doc, 0).toImageFormat();
    ASSERT_TRUE(big.isValid());
    EXPECT_LE(big.width(), 20 * 96.0); // shown at most 20 inches wide
    const QImage shown = doc.resource(QTextDocument::ImageResource, QUrl(big.name())).value<QImage>();
    EXPECT_LE(qint64(shown.width()) * shown.height(), 64 * 64);
    EXPECT_EQ(richPicture(big).bytes, QByteArray("abc}}"));

    ASSERT_TRUE(ReadRtf("{\\rtf1{\\pict\\pngblip 89504e470}x}", doc));
    EXPECT_EQ(richPicture(formatAt(doc, 0).toImageFormat()).bytes, QByteArray::fromHex("89504e47"));
    EXPECT_EQ(doc.toRawText().right(1), "x");

    ASSERT_TRUE(ReadRtf("{\\rtf1\\f9999\\fs99999999999\\cf99999\\highlight-5\\li-2147483648 x\\par}", doc));
    EXPECT_EQ(doc.toPlainText(), "x");
    EXPECT_GT(richCharProps(formatAt(doc, 0)).halfPoints, 0);

    QByteArray manyFonts = "{\\rtf1{\\fonttbl";
    for (int i = 0; i < 5000; ++i)
        manyFonts += "{\\f" + QByteArray::number(i) + " F;}";
    ASSERT_TRUE(ReadRtf(manyFonts + "}\\f4999 y}", doc));
    EXPECT_EQ(doc.toPlainText(), "y");
}
