// The control's incremental layout: after any series of edits it places every paragraph where
// a layout from scratch would, and hit tests find the characters it shows.
#include "editor/NoteEdit.h"
#include "platform/richedit/RichFormat.h"
#include "platform/richedit/RichLayout.h"

#include <QRandomGenerator>
#include <QScrollBar>
#include <QTest>
#include <QMouseEvent>
#include <QMimeData>
#include <QBuffer>
#include <QClipboard>
#include <QTextFrame>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <gtest/gtest.h>

namespace {

platform::RichLayout* layoutOf(QTextDocument* doc)
{
    return qobject_cast<platform::RichLayout*>(doc->documentLayout());
}

// Every paragraph's rectangle against a fresh layout of a copy of the document.
void expectSameAsFresh(QTextDocument* doc)
{
    std::unique_ptr<QTextDocument> copy(doc->clone());
    copy->setDocumentLayout(new platform::RichLayout(copy.get()));
    copy->setTextWidth(doc->textWidth());
    copy->setDocumentMargin(doc->documentMargin());
    layoutOf(copy.get())->FinishLayout();
    layoutOf(doc)->FinishLayout();
    ASSERT_EQ(copy->blockCount(), doc->blockCount());
    QTextBlock a = doc->begin(), b = copy->begin();
    for (; a.isValid(); a = a.next(), b = b.next()) {
        const QRectF ra = doc->documentLayout()->blockBoundingRect(a);
        const QRectF rb = copy->documentLayout()->blockBoundingRect(b);
        ASSERT_NEAR(ra.top(), rb.top(), 0.01) << "paragraph " << a.blockNumber();
        ASSERT_NEAR(ra.height(), rb.height(), 0.01) << "paragraph " << a.blockNumber();
    }
    EXPECT_NEAR(doc->documentLayout()->documentSize().height(), copy->documentLayout()->documentSize().height(), 0.01);
}

} // namespace

TEST(RichLayout, IncrementalEditsMatchAFreshLayout)
{
    TNoteEdit edit;
    edit.resize(500, 400);
    edit.show();
    QString text;
    for (int i = 0; i < 300; ++i)
        text += QStringLiteral("paragraph %1 %2\r").arg(i).arg(QString(i % 7 * 15, u'w'));
    edit.SetText(text);
    QTextDocument* doc = edit.document();
    ASSERT_NE(layoutOf(doc), nullptr);
    expectSameAsFresh(doc);

    QRandomGenerator rng(42);
    for (int step = 0; step < 120; ++step) {
        QTextCursor c(doc);
        const int len = doc->characterCount() - 1;
        const int pos = int(rng.bounded(len + 1));
        c.setPosition(pos);
        switch (rng.bounded(6)) {
        case 0:
            c.insertText(QStringLiteral("typed words "));
            break;
        case 1:
            c.insertText(QStringLiteral("one\ntwo\nthree"));
            break;
        case 2:
            c.setPosition(std::min(len, pos + int(rng.bounded(400))), QTextCursor::KeepAnchor);
            c.removeSelectedText();
            break;
        case 3: {
            QTextBlockFormat f;
            f.setTopMargin(rng.bounded(20));
            f.setLeftMargin(rng.bounded(60));
            c.setPosition(std::min(len, pos + int(rng.bounded(200))), QTextCursor::KeepAnchor);
            c.mergeBlockFormat(f);
            break;
        }
        case 4:
            edit.Undo();
            break;
        default: {
            QTextCharFormat f;
            f.setFontPointSize(8 + rng.bounded(20));
            c.setPosition(std::min(len, pos + int(rng.bounded(100))), QTextCursor::KeepAnchor);
            c.mergeCharFormat(f);
            break;
        }
        }
        expectSameAsFresh(doc);
        if (HasFatalFailure())
            return;
    }
    // Narrower window: everything wraps again.
    edit.resize(300, 400);
    expectSameAsFresh(doc);
}

TEST(RichLayout, HitTestsFindTheCharactersShown)
{
    TNoteEdit edit;
    edit.resize(400, 300);
    edit.show();
    edit.SetText(QStringLiteral("first line of text\rsecond paragraph that is long enough to wrap over more "
                                "than one line in a narrow window\rthird"));
    QTextDocument* doc = edit.document();
    for (int pos : {0, 5, 19, 40, 80, 110}) {
        QTextCursor c(doc);
        c.setPosition(pos);
        const QRect r = edit.cursorRect(c);
        const QPointF docPoint(r.left() + 1 + edit.horizontalScrollBar()->value(),
                               r.center().y() + edit.verticalScrollBar()->value());
        EXPECT_EQ(doc->documentLayout()->hitTest(docPoint, Qt::FuzzyHit), pos) << pos;
    }
    // Far right of a short line: no exact hit, a fuzzy one at the line's end.
    QTextCursor c(doc);
    c.setPosition(3);
    const QRect r = edit.cursorRect(c);
    EXPECT_EQ(doc->documentLayout()->hitTest(QPointF(380, r.center().y()), Qt::ExactHit), -1);
    EXPECT_EQ(doc->documentLayout()->hitTest(QPointF(380, r.center().y()), Qt::FuzzyHit), 18);
}

TEST(RichLayout, PicturesTakeTheirGoalSize)
{
    TNoteEdit edit;
    edit.show();
    auto* doc = new QTextDocument;
    // A 1x1 PNG shown at 1440 x 720 twips: 96 x 48 pixels.
    ASSERT_TRUE(platform::ReadRtfDetached(
        "{\\rtf1 a{\\pict\\pngblip\\picw1\\pich1\\picwgoal1440\\pichgoal720 "
        "89504e470d0a1a0a0000000d4948445200000001000000010806000000"
        "1f15c4890000000d49444154789c63f8cfc0f01f0005000201ac9b2c8c0000000049454e44ae426082}b\\par}",
        *doc));
    edit.AdoptDocument(doc);
    const QRectF r = doc->documentLayout()->blockBoundingRect(doc->begin());
    EXPECT_GE(r.height(), 48);
    EXPECT_LT(r.height(), 80);
}

TEST(RichLayout, BulletsAndNumbersAreShownBeforeTheText)
{
    TNoteEdit edit;
    edit.resize(400, 200);
    edit.show();
    edit.SetText(QStringLiteral("item one\ritem two"));
    edit.SelectAll();
    edit.ParagraphFormat()->SetNumbering(nsBullet);
    QTextDocument* doc = edit.document();
    layoutOf(doc)->FinishLayout();
    const QTextBlock first = doc->begin();
    const QTextLine line = first.layout()->lineAt(0);
    // Text starts at the left indent (10 points), the bullet before it.
    EXPECT_NEAR(line.x(), doc->documentMargin() + 200 / 15.0, 1.0);

    QImage shot(edit.viewport()->size(), QImage::Format_RGB32);
    shot.fill(Qt::white);
    edit.viewport()->render(&shot);
    const QRectF br = doc->documentLayout()->blockBoundingRect(first);
    int dark = 0;
    for (int y = int(br.top()); y < int(br.top() + line.height()); ++y)
        for (int x = 0; x < int(line.x()) - 1; ++x)
            if (qGray(shot.pixel(x, y)) < 128)
                ++dark;
    EXPECT_GT(dark, 3) << "no bullet drawn";
}

TEST(RichLayout, KeyboardAndMouseMoveThroughTheLines)
{
    TNoteEdit edit;
    edit.resize(300, 120);
    edit.show();
    QString text;
    for (int i = 0; i < 40; ++i)
        text += QStringLiteral("line %1\r").arg(i, 2, 10, QLatin1Char('0'));
    edit.SetText(text);
    edit.SetSelection(0, 0);
    QTest::keyClick(&edit, Qt::Key_Down);
    QTest::keyClick(&edit, Qt::Key_Down);
    EXPECT_EQ(edit.SelStart(), 16); // start of "line 02"
    QTest::keyClick(&edit, Qt::Key_End);
    EXPECT_EQ(edit.SelStart(), 23);
    QTest::keyClick(&edit, Qt::Key_Up);
    EXPECT_EQ(edit.SelStart(), 15);
    QTest::keyClick(&edit, Qt::Key_PageDown);
    EXPECT_GT(edit.SelStart(), 40);
    QTest::keyClick(&edit, Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(edit.SelStart(), edit.TextLength());
    EXPECT_GT(edit.verticalScrollBar()->value(), 0) << "the caret was scrolled into view";

    // A drag from the start of the top visible line to the middle of the next selects between.
    QTest::keyClick(&edit, Qt::Key_Home, Qt::ControlModifier);
    QTextCursor a(edit.document()), b(edit.document());
    a.setPosition(0);
    b.setPosition(12);
    const QPoint from = edit.cursorRect(a).center() + QPoint(1, 0);
    const QPoint to = edit.cursorRect(b).center() + QPoint(1, 0);
    QTest::mousePress(edit.viewport(), Qt::LeftButton, {}, from);
    QMouseEvent move(QEvent::MouseMove, QPointF(to), edit.viewport()->mapToGlobal(QPointF(to)), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(edit.viewport(), &move);
    QTest::mouseRelease(edit.viewport(), Qt::LeftButton, {}, to);
    EXPECT_EQ(edit.SelStart(), 0);
    EXPECT_EQ(edit.SelLength(), 12);
}

TEST(RichLayout, NoWrapTablesAndFramesStayUsable)
{
    TNoteEdit edit;
    edit.resize(200, 150);
    edit.show();
    edit.SetWordWrap(false);
    edit.SetText(QString(300, u'x') + QStringLiteral("\rshort"));
    QApplication::processEvents();
    EXPECT_GT(edit.horizontalScrollBar()->maximum(), 0) << edit.document()->textWidth() << " "
        << edit.document()->documentLayout()->documentSize().width() << " " << edit.document()->pageSize().width();
    EXPECT_EQ(edit.document()->begin().layout()->lineCount(), 1);

    // Pasted HTML with a table and a frame: laid out as paragraphs, editable, no crash.
    edit.SetWordWrap(true);
    auto* data = new QMimeData;
    data->setHtml(QStringLiteral("<table><tr><td>a1</td><td>b1</td></tr><tr><td>a2</td><td>b2</td></tr></table><p>after</p>"));
    QApplication::clipboard()->setMimeData(data);
    edit.SetSelection(0, 0);
    edit.PasteFromClipboard();
    QTextCursor c(edit.document());
    c.insertFrame(QTextFrameFormat())->firstCursorPosition().insertText(QStringLiteral("framed"));
    QApplication::processEvents();
    EXPECT_TRUE(edit.Text().contains(QLatin1String("b2")));
    layoutOf(edit.document())->FinishLayout();
    for (QTextBlock b = edit.document()->begin(); b.isValid(); b = b.next())
        EXPECT_TRUE(edit.document()->documentLayout()->blockBoundingRect(b).isValid() || b.length() <= 1);
    QTest::keyClick(&edit, Qt::Key_End, Qt::ControlModifier);
    QTest::keyClicks(&edit, QStringLiteral("typed"));
    EXPECT_TRUE(edit.Text().endsWith(QLatin1String("typed")));
}

TEST(RichLayout, LineNumbersCountWrappedLines)
{
    TNoteEdit edit;
    edit.resize(250, 200);
    edit.show();
    edit.SetText(QString(60, u'w').replace(QStringLiteral("w"), QStringLiteral("word ")) + QStringLiteral("\rnext"));
    layoutOf(edit.document())->FinishLayout();
    const int wrapped = edit.document()->begin().layout()->lineCount();
    ASSERT_GT(wrapped, 2);
    const int next = edit.TextLength() - 4;
    EXPECT_EQ(edit.LineFromChar(next), wrapped);
    EXPECT_EQ(edit.LineIndex(wrapped), next);
    EXPECT_EQ(edit.LineCount(), wrapped + 1);
    EXPECT_EQ(edit.LineFromChar(0), 0);
    EXPECT_GE(edit.LineFromChar(next - 1), wrapped - 1);
}

namespace {

// Dark pixels of a paragraph's first line left of x, as the control shows them.
int darkPixelsBefore(TNoteEdit& edit, const QTextBlock& block, double x)
{
    QImage shot(edit.viewport()->size(), QImage::Format_RGB32);
    shot.fill(Qt::white);
    edit.viewport()->render(&shot);
    const QRectF br = edit.document()->documentLayout()->blockBoundingRect(block);
    const QTextLine line = block.layout()->lineAt(0);
    int dark = 0;
    for (int y = int(br.top() + line.y()); y < int(br.top() + line.y() + line.height()); ++y)
        for (int px = 0; px < int(x); ++px)
            if (qGray(shot.pixel(px, y)) < 128)
                ++dark;
    return dark;
}

void loadRtf(TNoteEdit& edit, const QByteArray& rtf)
{
    QBuffer in;
    in.setData(rtf);
    in.open(QIODevice::ReadOnly);
    edit.SetStreamFormat(sfRichText);
    edit.Lines()->LoadFromStream(in);
    edit.show();
    layoutOf(edit.document())->FinishLayout();
}

} // namespace

TEST(RichLayout, NumbersShowTheirTextOnce)
{
    // "3." before the text, as written by the \pn group; the same characters as text below it.
    TNoteEdit edit;
    edit.resize(400, 200);
    loadRtf(edit, "{\\rtf1\\pard{\\*\\pn\\pnlvlbody\\pndec\\pnstart3{\\pntxta .}}\\fi-360\\li360 x\\par"
                  "\\pard 3.\\par}");
    const QTextBlock numbered = edit.document()->begin();
    const double textX = numbered.layout()->lineAt(0).x();
    const int marker = darkPixelsBefore(edit, numbered, textX);
    EXPECT_GT(marker, 3);
    EXPECT_EQ(marker, darkPixelsBefore(edit, numbered.next(), textX));
}

TEST(RichLayout, AListWithItsOwnStartBeginsAnew)
{
    // Two lists one after the other: the second one's first number is its own start, 5, as the
    // saved note says too.
    TNoteEdit edit;
    edit.resize(400, 200);
    const QByteArray rtf = "{\\rtf1\\pard{\\*\\pn\\pnlvlbody\\pndec\\pnstart1{\\pntxta .}}\\fi-360\\li360 a\\par b\\par"
                           "\\pard{\\*\\pn\\pnlvlbody\\pndec\\pnstart5{\\pntxta .}}\\fi-360\\li360 c\\par"
                           "\\pard 5.\\par}";
    loadRtf(edit, rtf);
    const QTextBlock second = edit.document()->findBlockByNumber(2);
    const double textX = second.layout()->lineAt(0).x();
    EXPECT_EQ(darkPixelsBefore(edit, second, textX), darkPixelsBefore(edit, second.next(), textX));
    edit.SetStreamFormat(sfRichText);
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    edit.Lines()->SaveToStream(out);
    EXPECT_TRUE(out.data().contains("{\\pntext 5.\\tab}")) << out.data().constData();
}

TEST(RichLayout, NumbersFollowEditsOfTheList)
{
    // Four items, then the texts "1." and "2." to compare the numbers with.
    TNoteEdit edit;
    edit.resize(400, 300);
    loadRtf(edit, "{\\rtf1\\pard{\\*\\pn\\pnlvlbody\\pndec\\pnstart1{\\pntxta .}}\\fi-360\\li360 "
                  "a\\par b\\par c\\par d\\par\\pard 1.\\par 2.\\par}");
    QTextDocument* doc = edit.document();
    const double textX = doc->begin().layout()->lineAt(0).x();
    auto shown = [&](int block) { return darkPixelsBefore(edit, doc->findBlockByNumber(block), textX); };
    EXPECT_EQ(shown(0), shown(4));
    EXPECT_EQ(shown(1), shown(5));
    // The second item leaves the list: the third one starts a list of its own.
    edit.SetSelection(doc->findBlockByNumber(1).position(), doc->findBlockByNumber(1).position());
    edit.ParagraphFormat()->SetNumbering(nsNone);
    layoutOf(doc)->FinishLayout();
    EXPECT_EQ(shown(2), shown(4));
    EXPECT_EQ(shown(3), shown(5));
    // And the third: the fourth is a list of one.
    edit.SetSelection(doc->findBlockByNumber(2).position(), doc->findBlockByNumber(2).position());
    edit.ParagraphFormat()->SetNumbering(nsNone);
    layoutOf(doc)->FinishLayout();
    EXPECT_EQ(shown(3), shown(4));
}

TEST(RichLayout, BulletTakesTheSizeOfItsParagraphsText)
{
    // A bullet list right after a large heading: every bullet as large as the list's text.
    TNoteEdit edit;
    edit.resize(400, 300);
    loadRtf(edit, "{\\rtf1{\\fonttbl{\\f0 Arial;}{\\f1\\fcharset2 Symbol;}}\\pard\\f0\\fs56 Heading\\par"
                  "\\pard\\fs20{\\pntext\\f1\\'b7\\tab}{\\*\\pn\\pnlvlblt\\pnf1\\pnindent0{\\pntxtb\\'b7}}"
                  "\\fi-360\\li720 one\\par{\\pntext\\f1\\'b7\\tab}two\\par}");
    const QTextBlock first = edit.document()->begin().next();
    const double textX = first.layout()->lineAt(0).x();
    const int bullet = darkPixelsBefore(edit, first, textX);
    EXPECT_GT(bullet, 3);
    EXPECT_EQ(bullet, darkPixelsBefore(edit, first.next(), textX));
}
