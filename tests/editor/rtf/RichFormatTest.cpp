// The exact properties kept beside Qt's formats, and what Qt shows of them.
#include "platform/richedit/RichFormat.h"

#include <QTextCursor>
#include <QTextDocument>
#include <gtest/gtest.h>

using namespace platform;

TEST(RichFormatCharacters, DefaultsAndDerivedValues)
{
    const RichCharProps none = richCharProps(QTextCharFormat());
    EXPECT_EQ(none.halfPoints, 24);
    EXPECT_EQ(none.charset, 1);
    EXPECT_TRUE(none.autoColor);
    EXPECT_FALSE(none.highlight.isValid());

    // A format made by Qt alone (typed text, HTML paste).
    QTextCharFormat qt;
    qt.setFontPointSize(11.5);
    qt.setFontWeight(QFont::Bold);
    qt.setFontUnderline(true);
    qt.setForeground(QColor(1, 2, 3));
    const RichCharProps p = richCharProps(qt);
    EXPECT_EQ(p.halfPoints, 23);
    EXPECT_TRUE(p.bold);
    EXPECT_EQ(p.underline, RichUnderlineKind::Single);
    EXPECT_FALSE(p.autoColor);
    EXPECT_EQ(p.color, QColor(1, 2, 3));
}

TEST(RichFormatCharacters, SettersKeepExactValuesAndShowThem)
{
    QTextCharFormat f;
    setRichHalfPoints(f, 23);
    EXPECT_EQ(f.fontPointSize(), 11.5);
    setRichUnderline(f, RichUnderlineKind::Wave);
    EXPECT_EQ(f.underlineStyle(), QTextCharFormat::WaveUnderline);
    setRichColor(f, QColor(9, 8, 7));
    EXPECT_EQ(f.foreground().color(), QColor(9, 8, 7));
    setRichColor(f, QColor());
    EXPECT_TRUE(richCharProps(f).autoColor);
    EXPECT_EQ(f.foreground().style(), Qt::NoBrush);

    RichCharProps all;
    all.face = "Arial";
    all.charset = 204;
    all.pitch = 2;
    all.family = RichFontFamily::Swiss;
    all.halfPoints = 31;
    all.bold = all.italic = all.strike = all.hidden = all.protect = all.disabled = true;
    all.underline = RichUnderlineKind::DashDot;
    all.subscript = true;
    all.offsetHalfPoints = -4;
    all.autoColor = false;
    all.color = QColor(10, 20, 30);
    all.highlight = QColor(200, 200, 0);
    QTextCharFormat g;
    setRichCharProps(g, all);
    EXPECT_EQ(richCharProps(g), all);
    EXPECT_EQ(g.fontFamilies().toStringList(), QStringList{"Arial"});
    EXPECT_EQ(g.verticalAlignment(), QTextCharFormat::AlignSubScript);

    // Merging one property onto text keeps the others.
    QTextDocument doc;
    QTextCursor c(&doc);
    c.insertText("abc", g);
    c.select(QTextCursor::Document);
    QTextCharFormat bigger;
    setRichHalfPoints(bigger, 40);
    c.mergeCharFormat(bigger);
    QTextCursor at(&doc);
    at.setPosition(2);
    RichCharProps merged = all;
    merged.halfPoints = 40;
    EXPECT_EQ(richCharProps(at.charFormat()), merged);
}

TEST(RichFormatParagraphs, TwipsAndTheRichEditView)
{
    RichParaProps p;
    p.leftIndent = 720;
    p.firstIndent = -360;
    EXPECT_EQ(p.startIndent(), 360);
    EXPECT_EQ(p.offset(), 360);
    p.setStartIndent(100);
    EXPECT_EQ(p.leftIndent, 460);
    EXPECT_EQ(p.firstIndent, -360);
    p.setOffset(0);
    EXPECT_EQ(p.leftIndent, 100);
    EXPECT_EQ(p.firstIndent, 0);

    for (int rule = 0; rule <= 5; ++rule) {
        RichParaProps q;
        q.setLineSpacingRule(rule, rule >= 3 ? 300 : 0);
        if (rule == 5)
            q.setLineSpacingRule(5, 30); // one and a half lines in twentieths
        EXPECT_EQ(q.lineSpacingRule(), rule == 5 ? 1 : rule) << rule;
    }
    RichParaProps exact;
    exact.setLineSpacingRule(4, 280);
    EXPECT_EQ(exact.lineSpacing, -280);
    EXPECT_EQ(exact.lineSpacingValue(), 280);

    QTextBlockFormat f;
    p.leftIndent = 1440;
    p.firstIndent = -720;
    p.tabs = {RichTab{720, RichTabKind::Center, RichTabLeader::Dots}};
    p.numbering.kind = RichNumberingKind::Bullet;
    setRichParaProps(f, p);
    EXPECT_EQ(richParaProps(f), p);
    EXPECT_EQ(f.leftMargin(), 96.0); // an inch at 96 pixels
    EXPECT_EQ(f.textIndent(), -48.0);
    ASSERT_EQ(f.tabPositions().size(), 1);
    EXPECT_EQ(f.tabPositions().first().type, QTextOption::CenterTab);

    // A block format made by Qt alone reads its margins in twips.
    QTextBlockFormat qt;
    qt.setLeftMargin(48);
    qt.setAlignment(Qt::AlignRight);
    const RichParaProps r = richParaProps(qt);
    EXPECT_EQ(r.leftIndent, 720);
    EXPECT_EQ(r.alignment, RichAlignment::Right);
}
