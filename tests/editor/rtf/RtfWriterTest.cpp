// What a saved note holds: the bytes of the RTF written, and what reading them back gives.
#include "platform/richedit/RichFormat.h"

#include <QBuffer>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <gtest/gtest.h>

using namespace platform;

namespace {

QByteArray roundTrip(const QByteArray& rtf, QTextDocument& doc)
{
    QString error;
    EXPECT_TRUE(ReadRtf(rtf, doc, &error)) << error.toStdString();
    return WriteRtf(doc);
}

// Loads, saves, loads and saves again: both saves must be the same bytes.
QByteArray stableSave(const QByteArray& rtf)
{
    QTextDocument a, b;
    const QByteArray first = roundTrip(rtf, a);
    const QByteArray second = roundTrip(first, b);
    EXPECT_EQ(second.toStdString(), first.toStdString());
    EXPECT_EQ(b.toRawText(), a.toRawText());
    return first;
}

QByteArray pngBytes(int w, int h, QColor c)
{
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(c);
    QByteArray bytes;
    QBuffer buf(&bytes);
    buf.open(QIODevice::WriteOnly);
    img.save(&buf, "PNG");
    return bytes;
}

QTextCharFormat formatAt(QTextDocument& doc, int index)
{
    QTextCursor c(&doc);
    c.setPosition(index + 1);
    return c.charFormat();
}

} // namespace

TEST(RtfWriter, HeaderTablesAndCyrillicText)
{
    QTextDocument doc;
    QTextCursor c(&doc);
    QTextCharFormat f;
    setRichFace(f, "Arial", 204);
    setRichHalfPoints(f, 24);
    c.insertText(QString::fromUtf8("При a{b}\\"), f);
    const QByteArray rtf = WriteRtf(doc);
    EXPECT_TRUE(rtf.startsWith("{\\rtf1\\ansi\\ansicpg1251\\deff0{\\fonttbl{\\f0\\fnil\\fcharset204 Arial;}}\r\n"
                               "{\\colortbl ;}\r\n"))
        << rtf.toStdString();
    EXPECT_TRUE(rtf.contains("\\uc1")) << rtf.toStdString();
    EXPECT_TRUE(rtf.contains("\\fs24")) << rtf.toStdString();
    EXPECT_TRUE(rtf.contains("\\u1055\\'cf\\u1088\\'f0\\u1080\\'e8 a\\{b\\}\\\\\\par\r\n}")) << rtf.toStdString();
    EXPECT_TRUE(rtf.endsWith("}\r\n"));
    QTextDocument back;
    ASSERT_TRUE(ReadRtf(rtf, back));
    EXPECT_EQ(back.toPlainText(), QString::fromUtf8("При a{b}\\"));
}

TEST(RtfWriter, CharactersOutsideTheCodePage)
{
    QTextDocument doc;
    QTextCursor c(&doc);
    QTextCharFormat f;
    setRichFace(f, "Arial", 204);
    c.insertText(QString::fromUtf8("你") + QString::fromUcs4(U"\U0001F60A") + QString::fromUtf8("é\tx")
                     + QChar(0x2028) + "y" + QChar(0xA0),
                 f);
    const QByteArray rtf = WriteRtf(doc);
    // Not in Windows-1251: "?" after \uN; a character outside the basic plane as two \u.
    EXPECT_TRUE(rtf.contains("\\u20320?\\u-10179?\\u-8694?\\u233?\\tab x\\line y\\~")) << rtf.toStdString();
    QTextDocument back;
    ASSERT_TRUE(ReadRtf(rtf, back));
    EXPECT_EQ(back.toRawText(), doc.toRawText());

    // A run in a Greek font falls back to Windows-1253.
    QTextDocument greek;
    ASSERT_TRUE(ReadRtf("{\\rtf1{\\fonttbl{\\f0\\fcharset161 Arial Greek;}}\\f0 \\'c1}", greek));
    const QByteArray g = WriteRtf(greek);
    EXPECT_TRUE(g.contains("\\fcharset161 Arial Greek;")) << g.toStdString();
    EXPECT_TRUE(g.contains("\\u913\\'c1")) << g.toStdString();

    // A character the code page cannot hold does not spoil the ones after it. An OEM font's
    // runs are written in 866, the code page they are read in, so saves stay the same bytes.
    QTextDocument oem;
    ASSERT_TRUE(ReadRtf("{\\rtf1{\\fonttbl{\\f0\\fcharset255 Terminal;}}\\f0 \\'9f\\u20320?\\'9f\\u1055?}", oem));
    EXPECT_EQ(oem.toPlainText(), QString::fromUtf8("Я你ЯП"));
    const QByteArray o = WriteRtf(oem);
    EXPECT_TRUE(o.contains("\\fcharset255 Terminal;")) << o.toStdString();
    EXPECT_TRUE(o.contains("\\u1071\\'9f\\u20320?\\u1071\\'9f\\u1055\\'8f")) << o.toStdString();
    // A reader that skips the Unicode words sees the same text in the bytes alone.
    QByteArray bytesOnly = o;
    bytesOnly.replace("\\u1071", "").replace("\\u1055", "").replace("\\u20320?", "");
    QTextDocument viaBytes;
    ASSERT_TRUE(ReadRtf(bytesOnly, viaBytes));
    EXPECT_EQ(viaBytes.toPlainText(), QString::fromUtf8("ЯЯП"));
    stableSave(o);
}

TEST(RtfWriter, NulComesBackAsNul)
{
    // A plain text note may hold NUL; saved as RTF it must read back as NUL, in any run's code page.
    const QChar nul(char16_t(0));
    QTextDocument doc;
    QTextCursor c(&doc);
    QTextCharFormat cyr, oem;
    setRichFace(cyr, "Arial", 204);
    setRichFace(oem, "Terminal", 255);
    c.insertText(QString("a") + nul + "b" + nul, cyr);
    c.insertText(QString(nul) + QString::fromUtf8("Я"), oem);
    const QByteArray rtf = WriteRtf(doc);
    EXPECT_TRUE(rtf.contains(" a\\'00b\\'00\\f1\\'00\\u1071\\'9f\\par")) << rtf.toStdString();
    QTextDocument back;
    ASSERT_TRUE(ReadRtf(rtf, back));
    EXPECT_EQ(back.toRawText(), doc.toRawText());
    stableSave(rtf);

    // \u0 from another writer is NUL as well; a raw zero byte in the stream is no text.
    QTextDocument other;
    ASSERT_TRUE(ReadRtf(QByteArray("{\\rtf1 x\\u0?y") + QByteArray(1, '\0') + "z}", other));
    EXPECT_EQ(other.toPlainText(), QString("x") + nul + "yz");
}

TEST(RtfWriter, ExactParagraphMeasuresSurvive)
{
    QTextDocument doc;
    const QByteArray rtf = roundTrip("{\\rtf1\\pard\\li567\\fi-283\\ri15\\sb7\\sa9\\sl360\\slmult1\\qc"
                                     "\\tqc\\tx1001\\tqdec\\tleq\\tx2002\\tb3003 x\\par}",
                                     doc);
    EXPECT_TRUE(rtf.contains("\\pard\\qc\\fi-283\\li567\\ri15\\sb7\\sa9\\sl360\\slmult1\\tqc\\tx1001"
                             "\\tqdec\\tleq\\tx2002\\tb3003\\f0\\fs24 x\\par"))
        << rtf.toStdString();
    QTextDocument back;
    ASSERT_TRUE(ReadRtf(rtf, back));
    EXPECT_EQ(richParaProps(back.begin().blockFormat()), richParaProps(doc.begin().blockFormat()));
    EXPECT_EQ(richParaProps(back.begin().blockFormat()).lineSpacingRule(), 1);

    // Measures set through the rich edit's view are written in twips.
    QTextDocument made;
    QTextBlockFormat bf;
    RichParaProps p;
    p.setStartIndent(18 * 20);
    p.setOffset(18 * 20);
    setRichParaProps(bf, p);
    QTextCursor(&made).setBlockFormat(bf);
    EXPECT_TRUE(WriteRtf(made).contains("\\fi-360\\li720")) << WriteRtf(made).toStdString();
}

TEST(RtfWriter, CharacterFormattingRoundTrip)
{
    const QByteArray rtf = stableSave(
        "{\\rtf1{\\fonttbl{\\f0\\froman\\fprq2\\fcharset204 Times;}{\\f1\\fmodern\\fcharset0 Courier;}}"
        "{\\colortbl ;\\red10\\green20\\blue30;\\red200\\green100\\blue0;}"
        "\\f0\\fs23 plain {\\b bold}{\\i it}{\\ul u}{\\uldb dbl}{\\ulwave w}{\\strike s}{\\v hid}"
        "{\\protect pro}{\\super sup}{\\sub sub}{\\up6 raised}{\\cf1 col}{\\highlight2 hl}\\f1\\fs31 cour\\par}");
    EXPECT_TRUE(rtf.contains("{\\colortbl ;\\red10\\green20\\blue30;\\red200\\green100\\blue0;}"))
        << rtf.toStdString();
    QTextDocument doc;
    ASSERT_TRUE(ReadRtf(rtf, doc));
    const QString text = doc.toPlainText();
    auto props = [&](const QString& word) { return richCharProps(formatAt(doc, int(text.indexOf(word)))); };
    EXPECT_EQ(props("plain").halfPoints, 23);
    EXPECT_EQ(props("plain").face, "Times");
    EXPECT_EQ(props("plain").family, RichFontFamily::Roman);
    EXPECT_EQ(props("plain").pitch, 2);
    EXPECT_TRUE(props("bold").bold);
    EXPECT_TRUE(props("it").italic);
    EXPECT_EQ(props("dbl").underline, RichUnderlineKind::Double);
    EXPECT_EQ(props("w").underline, RichUnderlineKind::Wave);
    EXPECT_TRUE(props("hid").hidden);
    EXPECT_TRUE(props("pro").protect);
    EXPECT_TRUE(props("sup").superscript);
    EXPECT_TRUE(props("sub").subscript);
    EXPECT_EQ(props("raised").offsetHalfPoints, 6);
    EXPECT_EQ(props("col").color, QColor(10, 20, 30));
    EXPECT_EQ(props("hl").highlight, QColor(200, 100, 0));
    EXPECT_EQ(props("cour").face, "Courier");
    EXPECT_EQ(props("cour").charset, 0);
    EXPECT_EQ(props("cour").halfPoints, 31);
}

TEST(RtfWriter, TypedTextWithoutRichPropertiesIsWritten)
{
    // Text that came from elsewhere (typed, pasted as HTML) has Qt's properties only.
    QTextDocument doc;
    QTextCursor c(&doc);
    QTextCharFormat f;
    f.setFontFamilies({"Liberation Sans"});
    f.setFontPointSize(12);
    f.setFontWeight(QFont::Bold);
    f.setForeground(QColor(255, 0, 0));
    c.insertText("red", f);
    const QByteArray rtf = WriteRtf(doc);
    EXPECT_TRUE(rtf.contains("\\fcharset204 Liberation Sans;")) << rtf.toStdString();
    EXPECT_TRUE(rtf.contains("\\f0\\fs24\\b\\cf1 red")) << rtf.toStdString();
    stableSave(rtf);
}

TEST(RtfWriter, ParagraphsAndEmptyLines)
{
    EXPECT_TRUE(stableSave("{\\rtf1 abc\\par}").contains(" abc\\par\r\n}"));
    const QByteArray two = stableSave("{\\rtf1 abc\\par\\par}");
    QTextDocument doc;
    ASSERT_TRUE(ReadRtf(two, doc));
    EXPECT_EQ(doc.blockCount(), 2);
    // An empty paragraph keeps the size of its mark.
    ASSERT_TRUE(ReadRtf(stableSave("{\\rtf1\\fs40 big\\par\\fs20\\par small}"), doc));
    ASSERT_EQ(doc.blockCount(), 3);
    EXPECT_EQ(richCharProps(doc.findBlockByNumber(1).charFormat()).halfPoints, 20);
    // An empty document.
    QTextDocument empty;
    const QByteArray e = WriteRtf(empty);
    ASSERT_TRUE(ReadRtf(e, doc));
    EXPECT_EQ(doc.blockCount(), 1);
    EXPECT_TRUE(doc.toPlainText().isEmpty());
}

TEST(RtfWriter, NumberingInTheRichEditForm)
{
    const QByteArray rtf = stableSave("{\\rtf1{\\fonttbl{\\f0 Arial;}{\\f1\\fcharset2 Symbol;}}"
                                      "\\pard{\\*\\pn\\pnlvlblt\\pnf1\\pnindent0{\\pntxtb\\'b7}}\\fi-360\\li360 one\\par "
                                      "two\\par\\pard{\\*\\pn\\pnlvlbody\\pnucrm\\pnstart4{\\pntxta )}}three\\par "
                                      "four\\par}");
    // The bullet comes first, yet \deff0 is the text's font, not Symbol.
    EXPECT_TRUE(rtf.contains("\\deff0{\\fonttbl{\\f0\\fnil\\fcharset204 Arial;}{\\f1\\fnil\\fcharset2 Symbol;}}"))
        << rtf.toStdString();
    EXPECT_TRUE(rtf.contains("{\\pntext\\f1\\u183\\'b7\\tab}{\\*\\pn\\pnlvlblt\\pnf1\\pnindent0{\\pntxtb\\u183\\'b7}}"))
        << rtf.toStdString();
    EXPECT_TRUE(rtf.contains("{\\pntext IV)\\tab}")) << rtf.toStdString();
    EXPECT_TRUE(rtf.contains("{\\pntext V)\\tab}")) << rtf.toStdString();
    QTextDocument doc;
    ASSERT_TRUE(ReadRtf(rtf, doc));
    EXPECT_EQ(doc.toPlainText(), "one\ntwo\nthree\nfour");
    EXPECT_EQ(richParaProps(doc.findBlockByNumber(1).blockFormat()).numbering.kind, RichNumberingKind::Bullet);
    const RichNumbering n = richParaProps(doc.findBlockByNumber(3).blockFormat()).numbering;
    EXPECT_EQ(n.kind, RichNumberingKind::UpperRoman);
    EXPECT_EQ(n.start, 4);
    EXPECT_EQ(n.style, RichNumberingStyle::RightParen);
    // What the paragraphs show before their text.
    EXPECT_EQ(richNumberText(doc.findBlockByNumber(0)), QString(QChar(0xB7)));
    EXPECT_EQ(richNumberText(doc.findBlockByNumber(2)), "IV)");
    EXPECT_EQ(richNumberText(doc.findBlockByNumber(3)), "V)");
    QTextDocument plain;
    EXPECT_TRUE(richNumberText(plain.begin()).isEmpty());
}

TEST(RtfWriter, DefaultFontIsATextFontWhenABulletComesFirst)
{
    // An empty bulleted paragraph first: its mark's font is the text font.
    const QByteArray empty = stableSave("{\\rtf1{\\fonttbl{\\f0\\fcharset204 Tahoma;}{\\f1\\fcharset2 Symbol;}}\\f0"
                                        "\\pard{\\*\\pn\\pnlvlblt\\pnf1\\pnindent0{\\pntxtb\\'b7}}\\par"
                                        "\\pard{\\f1 x}\\par}");
    EXPECT_TRUE(empty.contains("\\deff0{\\fonttbl{\\f0\\fnil\\fcharset204 Tahoma;}{\\f1\\fnil\\fcharset2 Symbol;}}"))
        << empty.toStdString();

    // A copied selection that starts at a bulleted paragraph: its first run names \deff0.
    QTextDocument doc;
    ASSERT_TRUE(ReadRtf("{\\rtf1{\\fonttbl{\\f0\\fcharset204 Tahoma;}{\\f1\\fcharset2 Symbol;}{\\f2\\fcharset204 Verdana;}}"
                        "\\f0 a\\par\\pard{\\*\\pn\\pnlvlblt\\pnf1\\pnindent0{\\pntxtb\\'b7}}\\f2 b\\par}",
                        doc));
    QTextCursor c(&doc);
    c.setPosition(2);
    c.setPosition(3, QTextCursor::KeepAnchor);
    const QByteArray part = WriteRtf(c);
    EXPECT_TRUE(part.contains("\\deff0{\\fonttbl{\\f0\\fnil\\fcharset204 Verdana;}{\\f1\\fnil\\fcharset2 Symbol;}}"))
        << part.toStdString();
}

TEST(RtfWriter, FieldsAreWrittenBack)
{
    const QByteArray rtf = stableSave("{\\rtf1 see {\\field{\\*\\fldinst{HYPERLINK \"http://a.b/\"}}"
                                      "{\\fldrslt{\\ul site}}} now}");
    EXPECT_TRUE(rtf.contains("{\\field{\\*\\fldinst{HYPERLINK \"http://a.b/\"}}{\\fldrslt{\\ul site}}}"))
        << rtf.toStdString();
    EXPECT_TRUE(rtf.contains("}}} now")) << rtf.toStdString();
}

TEST(RtfWriter, SelectionRange)
{
    QTextDocument doc;
    ASSERT_TRUE(ReadRtf("{\\rtf1 first\\par {\\b second}\\par third}", doc));
    QTextCursor c(&doc);
    c.setPosition(2);
    c.setPosition(9, QTextCursor::KeepAnchor); // "rst\nsec"
    const QByteArray part = WriteRtf(c);
    QTextDocument back;
    ASSERT_TRUE(ReadRtf(part, back));
    EXPECT_EQ(back.toPlainText(), "rst\nsec");
    EXPECT_TRUE(richCharProps(formatAt(back, 4)).bold);
    // A selection that ends after a paragraph mark keeps the mark.
    c.setPosition(0);
    c.setPosition(6, QTextCursor::KeepAnchor);
    EXPECT_TRUE(WriteRtf(c).contains(" first\\par\r\n}")) << WriteRtf(c).toStdString();
    QTextCursor none(&doc);
    ASSERT_TRUE(ReadRtf(WriteRtf(none), back));
    EXPECT_TRUE(back.toPlainText().isEmpty());
}

TEST(RtfPictures, KeepTheirBytesAndSize)
{
    const QByteArray png = pngBytes(40, 20, Qt::red);
    const QByteArray rtf = "{\\rtf1 a{\\pict\\pngblip\\picw40\\pich20\\picwgoal1200\\pichgoal600\r\n"
                           + png.toHex() + "}b}";
    QTextDocument doc;
    const QByteArray saved = roundTrip(rtf, doc);
    EXPECT_EQ(doc.toRawText(), QString("a") + QChar::ObjectReplacementCharacter + "b");
    const QTextImageFormat img = formatAt(doc, 1).toImageFormat();
    ASSERT_TRUE(img.isValid());
    const RichPicture p = richPicture(img);
    EXPECT_EQ(p.bytes, png);
    EXPECT_EQ(p.kind, RichPictureKind::Png);
    EXPECT_EQ(img.width(), 80.0); // 1200 twips at 15 twips a pixel
    EXPECT_EQ(img.height(), 40.0);
    const QImage shown = doc.resource(QTextDocument::ImageResource, QUrl(img.name())).value<QImage>();
    EXPECT_EQ(shown.size(), QSize(40, 20));
    EXPECT_EQ(shown.pixel(5, 5), qRgb(255, 0, 0));
    EXPECT_TRUE(saved.contains("{\\pict\\pngblip\\picw40\\pich20\\picwgoal1200\\pichgoal600\r\n"));
    EXPECT_TRUE(saved.contains(png.toHex().left(128) + "\r\n"));
    stableSave(rtf);

    // \bin data and a JPEG.
    QImage photo(16, 8, QImage::Format_RGB32);
    photo.fill(Qt::blue);
    QByteArray jpg;
    QBuffer buf(&jpg);
    buf.open(QIODevice::WriteOnly);
    photo.save(&buf, "JPEG");
    QTextDocument jdoc;
    ASSERT_TRUE(ReadRtf("{\\rtf1{\\pict\\jpegblip\\picw16\\pich8\\bin" + QByteArray::number(jpg.size()) + " "
                            + jpg + "}}",
                        jdoc));
    const RichPicture jp = richPicture(formatAt(jdoc, 0).toImageFormat());
    EXPECT_EQ(jp.bytes, jpg);
    EXPECT_EQ(decodeRichPicture(jp).size(), QSize(16, 8));
    EXPECT_TRUE(WriteRtf(jdoc).contains("\\jpegblip\\picw16\\pich8\r\n" + jpg.toHex().left(128)));
}

TEST(RtfPictures, BitmapsInOlderForms)
{
    // A DIB: 2x2, 24 bits, bottom-up rows padded to 8 bytes.
    QByteArray dib(40, '\0');
    auto put32 = [](QByteArray& b, int at, quint32 v) {
        for (int i = 0; i < 4; ++i)
            b[at + i] = char((v >> (8 * i)) & 0xFF);
    };
    put32(dib, 0, 40);
    put32(dib, 4, 2);
    put32(dib, 8, 2);
    dib[12] = 1;
    dib[14] = 24;
    const QByteArray rows = QByteArray::fromHex("0000ff00ff000000" "ff0000ffffff0000");
    dib += rows;
    RichPicture p;
    p.kind = RichPictureKind::Dib;
    p.bytes = dib;
    QImage img = decodeRichPicture(p);
    ASSERT_EQ(img.size(), QSize(2, 2));
    EXPECT_EQ(img.pixel(0, 1), qRgb(255, 0, 0)); // first row in the data is the bottom row
    EXPECT_EQ(img.pixel(0, 0), qRgb(0, 0, 255));

    // The same DIB drawn by a Windows metafile (StretchDIB record).
    QByteArray wmf(18, '\0');
    wmf[0] = 1;
    wmf[2] = 9;
    wmf[4] = 0x00;
    wmf[5] = 0x03;
    QByteArray rec(28, '\0');
    rec += dib;
    if (rec.size() % 2)
        rec += '\0';
    put32(rec, 0, quint32(rec.size() / 2));
    rec[4] = char(0x43);
    rec[5] = char(0x0F);
    wmf += rec;
    wmf += QByteArray::fromHex("030000000000");
    p.kind = RichPictureKind::Wmf;
    p.bytes = wmf;
    img = decodeRichPicture(p);
    EXPECT_EQ(img.size(), QSize(2, 2));

    // Vector content without a bitmap: a placeholder of the goal size.
    QTextDocument doc;
    ASSERT_TRUE(ReadRtf("{\\rtf1{\\pict\\emfblip\\picw2540\\pich1270\\picwgoal1440\\pichgoal720 0100000000}}", doc));
    const QTextImageFormat f = formatAt(doc, 0).toImageFormat();
    EXPECT_EQ(f.width(), 96.0);
    EXPECT_EQ(f.height(), 48.0);
    EXPECT_FALSE(doc.resource(QTextDocument::ImageResource, QUrl(f.name())).value<QImage>().isNull());
}

TEST(RtfPictures, ImagesWithoutBytesAreWrittenAsPng)
{
    QTextDocument doc;
    QImage img(8, 4, QImage::Format_RGB32);
    img.fill(Qt::green);
    doc.addResource(QTextDocument::ImageResource, QUrl("pasted"), img);
    QTextImageFormat f;
    f.setName("pasted");
    QTextCursor(&doc).insertImage(f);
    const QByteArray rtf = WriteRtf(doc);
    EXPECT_TRUE(rtf.contains("{\\pict\\pngblip\\picw8\\pich4\\picwgoal120\\pichgoal60\r\n")) << rtf.left(300).toStdString();
    QTextDocument back;
    ASSERT_TRUE(ReadRtf(rtf, back));
    const RichPicture p = richPicture(formatAt(back, 0).toImageFormat());
    EXPECT_EQ(decodeRichPicture(p).pixel(1, 1), qRgb(0, 255, 0));

    // richPictureFromImage + makeRichPicture, the way a picture is inserted.
    QTextDocument ins;
    QTextCursor(&ins).insertImage(makeRichPicture(ins, richPictureFromImage(img)));
    QTextDocument again;
    ASSERT_TRUE(ReadRtf(WriteRtf(ins), again));
    EXPECT_EQ(richPicture(formatAt(again, 0).toImageFormat()).bytes, richPictureFromImage(img).bytes);
}

TEST(RtfObjects, KeptByteExactAsOneCharacter)
{
    const QByteArray png = pngBytes(10, 10, Qt::blue);
    // The object's data holds braces in \bin data: they must not end the group.
    const QByteArray object = "{\\object\\objemb{\\*\\objclass Paint.Picture}\\objw600\\objh300"
                              "{\\*\\objdata 01050000\r\n02000000{\\bin4 }}{{}}{\\result{\\pict\\pngblip\\picw10\\pich10 "
                              + png.toHex() + "}}}";
    const QByteArray rtf = "{\\rtf1 x" + object + "y\\par}";
    QTextDocument doc;
    ASSERT_TRUE(ReadRtf(rtf, doc));
    EXPECT_EQ(doc.toRawText(), QString("x") + QChar::ObjectReplacementCharacter + "y");
    EXPECT_EQ(doc.characterCount(), 4); // x, object, y, the paragraph mark
    const QTextCharFormat f = formatAt(doc, 1);
    ASSERT_TRUE(isRichObject(f));
    const RichObject o = richObject(f);
    EXPECT_EQ(o.bytes, object);
    EXPECT_EQ(o.width, 600);
    EXPECT_EQ(o.height, 300);
    const QString picture = f.stringProperty(RichProp::ObjectPictureName);
    EXPECT_EQ(doc.resource(QTextDocument::ImageResource, QUrl(picture)).value<QImage>().size(), QSize(10, 10));
    const QByteArray saved = stableSave(rtf);
    EXPECT_TRUE(saved.contains("x" + object + "y\\par")) << saved.toStdString();

    // An object cut off by the end of the file is closed, not lost.
    QTextDocument cut;
    ASSERT_TRUE(ReadRtf("{\\rtf1 a{\\object\\objw10{\\*\\objdata 0102", cut));
    EXPECT_EQ(cut.toRawText(), QString("a") + QChar::ObjectReplacementCharacter);
    EXPECT_EQ(richObject(formatAt(cut, 1)).bytes, QByteArray("{\\object\\objw10{\\*\\objdata 0102}}"));
    stableSave("{\\rtf1 a{\\object\\objw10{\\*\\objdata 0102");
    // A group with text before its \object word: the text is text, the object starts at the word.
    ASSERT_TRUE(ReadRtf("{\\rtf1 {ab\\object\\objw10{\\*\\objdata 01}}c}", cut));
    EXPECT_EQ(cut.toRawText(), QString("ab") + QChar::ObjectReplacementCharacter + "c");
    EXPECT_EQ(richObject(formatAt(cut, 2)).bytes, QByteArray("{\\object\\objw10{\\*\\objdata 01}}"));
    stableSave("{\\rtf1 {ab\\object\\objw10{\\*\\objdata 01}}c{abc\\pict\\pngblip 0102}}");
    // \bin data running past the end cannot be closed: the damaged object is dropped.
    ASSERT_TRUE(ReadRtf("{\\rtf1 a{\\object{\\bin9 12", cut));
    EXPECT_EQ(cut.toRawText(), "a");
}

TEST(RtfObjects, CopiedWithTheirPictures)
{
    const QByteArray png = pngBytes(6, 6, Qt::red);
    QTextDocument doc;
    ASSERT_TRUE(ReadRtf("{\\rtf1 a{\\pict\\pngblip\\picw6\\pich6 " + png.toHex() + "}b}", doc));
    QTextCursor all(&doc);
    all.select(QTextCursor::Document);
    QTextDocument other;
    QTextCursor at(&other);
    ASSERT_TRUE(ReadRtfAt(WriteRtf(all), at));
    EXPECT_EQ(other.toRawText(), doc.toRawText());
    const QTextImageFormat f = formatAt(other, 1).toImageFormat();
    EXPECT_EQ(other.resource(QTextDocument::ImageResource, QUrl(f.name())).value<QImage>().size(), QSize(6, 6));
}
