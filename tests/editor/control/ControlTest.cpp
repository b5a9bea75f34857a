// The rich edit control as its users see it: positions, selection, find, replacing, undo,
// the modified flag, protected text, the text limit, detected addresses and printing.
#include "editor/NoteEdit.h"
#include "platform/richedit/RichFormat.h"
#include "support/TestSupport.h"

#include <QAbstractTextDocumentLayout>
#include <QPdfWriter>
#include <QPrinter>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <gtest/gtest.h>

namespace {

void loadRtf(TNoteEdit& edit, const QByteArray& rtf)
{
    QTextDocument* doc = new QTextDocument;
    QString error;
    ASSERT_TRUE(platform::ReadRtf(rtf, *doc, &error)) << error.toStdString();
    edit.AdoptDocument(doc);
}

// Clicks (press and release) at the middle of character pos.
QPoint pointOf(TNoteEdit& edit, int pos)
{
    QTextCursor c(edit.document());
    c.setPosition(pos);
    const QRect r = edit.cursorRect(c);
    return QPoint(r.left() + 3, r.center().y());
}

} // namespace

TEST(Control, PositionsCountParagraphMarksAndPicturesOnce)
{
    TNoteEdit edit;
    loadRtf(edit, "{\\rtf1 ab\\par {\\pict\\pngblip\\picw1\\pich1 89504e47}cd\\par ef}");
    // "ab", mark, picture, "cd", mark, "ef".
    EXPECT_EQ(edit.TextLength(), 9);
    EXPECT_EQ(edit.TextRange(0, 4), QStringLiteral("ab\r\ufffc"));
    edit.SetSelection(3, 5);
    EXPECT_EQ(edit.SelStart(), 3);
    EXPECT_EQ(edit.SelLength(), 2);
    EXPECT_EQ(edit.SelText(), QStringLiteral("\ufffcc"));
    EXPECT_EQ(edit.Lines()->ToStringList(), (QStringList{"ab", "\ufffccd", "ef"}));

    edit.SetSelStart(4);
    EXPECT_EQ(edit.SelLength(), 0);
    edit.SetSelLength(3);
    EXPECT_EQ(edit.SelText(), QStringLiteral("cd\r"));
}

TEST(Control, FindDownUpWholeWordAndCase)
{
    TNoteEdit edit;
    edit.SetText(QStringLiteral("Cat cat concat\rcat"));
    EXPECT_EQ(edit.FindText("cat", 0, -1, 0), 0);
    EXPECT_EQ(edit.FindText("cat", 0, -1, platform::RichFindMatchCase), 4);
    EXPECT_EQ(edit.FindText("cat", 5, -1, platform::RichFindWholeWord), 15);
    EXPECT_EQ(edit.FindText("cat", 0, -1, platform::RichFindBackward), 15);
    EXPECT_EQ(edit.FindText("cat", 0, 10, platform::RichFindBackward), 4);
    EXPECT_EQ(edit.FindText("dog", 0, -1, 0), -1);
    // A hit must lie wholly inside the range.
    EXPECT_EQ(edit.FindText("concat", 0, 12, 0), -1);

    // The find dialog's search: down continues after the selection, up before it.
    edit.SetSelection(4, 7);
    EXPECT_TRUE(edit.FindNext("cat", true, false, true));
    EXPECT_EQ(edit.SelStart(), 15);
    EXPECT_TRUE(edit.FindNext("cat", false, false, false));
    EXPECT_EQ(edit.SelStart(), 11);
    QString notFound;
    edit.OnTextNotFound = [&](const QString& t) { notFound = t; };
    EXPECT_FALSE(edit.FindNext("dog", true, false, false));
    EXPECT_EQ(notFound, QStringLiteral("dog"));
}

TEST(Control, ReplaceSelectionSelectsTheNewTextAndUndoes)
{
    TNoteEdit edit;
    edit.SetText(QStringLiteral("hello world"));
    edit.SetModified(false);
    edit.SetSelection(6, 11);
    edit.ReplaceSelection(QStringLiteral("there\rfriend"));
    EXPECT_EQ(edit.Text(), QStringLiteral("hello there\rfriend"));
    EXPECT_EQ(edit.SelStart(), 6);
    EXPECT_EQ(edit.SelLength(), 12);
    EXPECT_TRUE(edit.Modified());
    ASSERT_TRUE(edit.CanUndo());
    edit.Undo();
    EXPECT_EQ(edit.Text(), QStringLiteral("hello world"));
    edit.RedoEdit();
    EXPECT_EQ(edit.Text(), QStringLiteral("hello there\rfriend"));

    // The lines list's replacements are not selected.
    edit.Lines()->Put(0, QStringLiteral("hi"));
    EXPECT_EQ(edit.Text(), QStringLiteral("hi\rfriend"));
    EXPECT_EQ(edit.SelLength(), 0);
}

TEST(Control, UndoLimit)
{
    TNoteEdit edit;
    edit.show();
    edit.SetUndoLimit(3);
    for (const char* word : {"a", "b", "c", "d", "e"}) {
        edit.SetSelection(edit.TextLength(), -1);
        edit.ReplaceSelection(QString::fromLatin1(word));
    }
    EXPECT_EQ(edit.Text(), QStringLiteral("abcde"));
    int undone = 0;
    while (edit.CanUndo() && undone < 10) {
        edit.Undo();
        ++undone;
    }
    EXPECT_EQ(undone, 3);
    EXPECT_EQ(edit.Text(), QStringLiteral("ab"));

    // Limits 0 and 1 both give single-level undo: the last change is undone, undoing again
    // restores it, and nothing older is reached.
    for (int limit : {0, 1}) {
        SCOPED_TRACE(limit);
        TNoteEdit single;
        single.show();
        single.SetUndoLimit(limit);
        EXPECT_EQ(single.UndoLimit(), limit);
        single.SetText(QStringLiteral("x"));
        single.ClearUndo();
        single.SetSelection(1, 1);
        QTest::keyClicks(&single, QStringLiteral("1"));
        single.SetSelection(2, 2);
        single.ReplaceSel(QStringLiteral("2"));
        EXPECT_EQ(single.Text(), QStringLiteral("x12"));
        ASSERT_TRUE(single.CanUndo());
        single.Undo();
        EXPECT_EQ(single.Text(), QStringLiteral("x1"));
        ASSERT_TRUE(single.CanUndo());
        single.Undo();
        EXPECT_EQ(single.Text(), QStringLiteral("x12"));
        single.Undo();
        EXPECT_EQ(single.Text(), QStringLiteral("x1"));
    }
}

TEST(Control, ModifiedFlagAndNotifications)
{
    TNoteEdit edit;
    int changes = 0, selections = 0;
    edit.OnChange = [&] { ++changes; };
    edit.OnSelectionChange = [&] { ++selections; };
    edit.SetText(QStringLiteral("abc"));
    edit.SetModified(false);
    changes = selections = 0;
    edit.SetSelection(1, 2);
    EXPECT_EQ(selections, 1);
    EXPECT_EQ(changes, 0);
    EXPECT_FALSE(edit.Modified());
    QTest::keyClicks(&edit, QStringLiteral("Z"));
    EXPECT_EQ(edit.Text(), QStringLiteral("aZc"));
    EXPECT_TRUE(edit.Modified());
    EXPECT_GE(changes, 1);

    // Setting the whole text through the lines list raises no change notification.
    changes = 0;
    edit.Lines()->SetText(QStringLiteral("new\r\ntext"));
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(edit.Lines()->Count(), 2);
}

TEST(Control, ProtectedTextAsksTheHandler)
{
    TNoteEdit edit;
    loadRtf(edit, "{\\rtf1 free {\\protect locked} free}");
    edit.show();
    const QString before = edit.Text();
    const int locked = int(before.indexOf(QLatin1String("locked")));
    edit.SetSelection(locked + 1, locked + 1);
    QTest::keyClick(&edit, Qt::Key_X);
    EXPECT_EQ(edit.Text(), before) << "without a handler protected text cannot change";

    int askedStart = -1, askedEnd = -1;
    edit.OnProtectChange = [&](int s, int e, bool& allow) {
        askedStart = s;
        askedEnd = e;
        allow = true;
    };
    edit.SetSelection(locked, locked + 2);
    QTest::keyClick(&edit, Qt::Key_Delete);
    EXPECT_EQ(askedStart, locked);
    EXPECT_EQ(askedEnd, locked + 2);
    EXPECT_EQ(edit.Text(), QString(before).remove(locked, 2));

    // Unprotected text does not ask.
    askedStart = -1;
    edit.SetSelection(1, 1);
    QTest::keyClick(&edit, Qt::Key_Y);
    EXPECT_EQ(askedStart, -1);
}

TEST(Control, TextLimitHoldsForTypingAndPasting)
{
    TNoteEdit edit;
    edit.show();
    EXPECT_EQ(edit.TextLimit(), 16777215);
    edit.SetMaxLength(5);
    QTest::keyClicks(&edit, QStringLiteral("abcdefg"));
    EXPECT_EQ(edit.Text(), QStringLiteral("abcde"));
    edit.SetSelection(0, 2);
    QTest::keyClicks(&edit, QStringLiteral("XYZ"));
    EXPECT_EQ(edit.Text(), QStringLiteral("XYcde"));
}

TEST(Control, DetectedAddressesAreDisplayOnly)
{
    TNoteEdit edit;
    edit.resize(600, 200);
    edit.show();
    edit.SetText(QStringLiteral("see http://example.com/a?b=1, or www.test.org. mail mailto:x@y.z"));
    edit.SetModified(false);
    edit.ClearUndo();
    QApplication::processEvents();
    EXPECT_FALSE(edit.Modified());
    EXPECT_FALSE(edit.CanUndo());

    int s = -1, e = -1;
    EXPECT_EQ(edit.UrlAt(10, &s, &e), QStringLiteral("http://example.com/a?b=1"));
    EXPECT_EQ(s, 4);
    EXPECT_EQ(edit.UrlAt(33), QStringLiteral("www.test.org"));
    EXPECT_EQ(edit.UrlAt(60), QStringLiteral("mailto:x@y.z"));
    EXPECT_TRUE(edit.UrlAt(1).isEmpty());
    // The text saved is the text typed: no link markup.
    const QByteArray rtf = platform::WriteRtf(*edit.document());
    EXPECT_FALSE(rtf.contains("HYPERLINK"));
    EXPECT_FALSE(rtf.contains("\\ul"));

    QString clicked;
    Qt::MouseButton button = Qt::NoButton;
    edit.OnURLClick = [&](const QString& url, Qt::MouseButton b) {
        clicked = url;
        button = b;
    };
    QTest::mouseClick(edit.viewport(), Qt::LeftButton, {}, pointOf(edit, 8));
    EXPECT_EQ(clicked, QStringLiteral("http://example.com/a?b=1"));
    EXPECT_EQ(button, Qt::LeftButton);

    // Pressing on one address and releasing on another raises no click.
    clicked.clear();
    QTest::mousePress(edit.viewport(), Qt::LeftButton, {}, pointOf(edit, 8));
    QTest::mouseRelease(edit.viewport(), Qt::LeftButton, {}, pointOf(edit, 35));
    EXPECT_TRUE(clicked.isEmpty());
    EXPECT_FALSE(edit.Modified());

    edit.SetAutoURLDetect(false);
    EXPECT_TRUE(edit.UrlAt(10).isEmpty());
}

TEST(Control, PrintsARangeToAnyPrinter)
{
    testsupport::TempDir dir;
    TNoteEdit edit;
    QString text;
    for (int i = 0; i < 200; ++i)
        text += QStringLiteral("Line number %1\r").arg(i);
    edit.SetText(text);

    auto pages = [](const QByteArray& pdf) { return pdf.count("/Type /Page\n") + pdf.count("/Type /Page "); };
    {
        QPdfWriter pdf(dir.file("all.pdf"));
        edit.PrintRange(pdf);
    }
    {
        QPdfWriter pdf(dir.file("part.pdf"));
        edit.PrintRange(pdf, 0, 20);
    }
    {
        TNoteEdit empty;
        QPdfWriter pdf(dir.file("empty.pdf"));
        empty.PrintRange(pdf);
    }
    const QByteArray all = testsupport::readFile(dir.file("all.pdf"));
    const QByteArray part = testsupport::readFile(dir.file("part.pdf"));
    const QByteArray empty = testsupport::readFile(dir.file("empty.pdf"));
    EXPECT_GT(pages(all), 2);
    EXPECT_EQ(pages(part), 1);
    EXPECT_EQ(pages(empty), 1);

    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(dir.file("printer.pdf"));
    edit.PrintText(QStringLiteral("My note"), printer);
    EXPECT_EQ(printer.docName(), QStringLiteral("My note"));
    EXPECT_GT(pages(testsupport::readFile(dir.file("printer.pdf"))), 2);
}

TEST(Control, PropertiesThatRecreatedTheWindowKeepTextAndFlag)
{
    TNoteEdit edit;
    loadRtf(edit, "{\\rtf1 {\\b bold} plain}");
    edit.SetModified(true);
    edit.SetHideScrollBars(false);
    edit.SetSelectionBar(false);
    edit.SetAllowObjects(false);
    EXPECT_EQ(edit.Text(), QStringLiteral("bold plain"));
    EXPECT_TRUE(edit.Modified());
    edit.SetSelection(0, 2);
    EXPECT_TRUE(edit.SelectionFormat()->Style() & fsBold);
}

TEST(Control, ClearEmptiesTextAndModifiedFlag)
{
    TNoteEdit edit;
    edit.SetText(QStringLiteral("one\rtwo"));
    edit.SetModified(true);
    edit.Lines()->Clear();
    EXPECT_EQ(edit.TextLength(), 0);
    EXPECT_FALSE(edit.Modified());
    EXPECT_EQ(edit.Lines()->Count(), 0);
}

TEST(Control, CopyAndPasteKeepFormatsWithinTheLimitAndMode)
{
    TNoteEdit source;
    loadRtf(source, "{\\rtf1 plain {\\b bold} tail}");
    source.SetSelection(6, 10);
    source.CopyToClipboard();

    TNoteEdit target;
    target.SetText(QStringLiteral("[]"));
    target.SetSelection(1, 1);
    ASSERT_TRUE(target.CanPaste());
    target.PasteFromClipboard();
    EXPECT_EQ(target.Text(), QStringLiteral("[bold]"));
    target.SetSelection(2, 3);
    EXPECT_TRUE(target.SelectionFormat()->Style() & fsBold);

    // Plain text mode takes the text only.
    TNoteEdit plain;
    plain.SetPlainText(true);
    plain.PasteFromClipboard();
    plain.SetSelection(1, 2);
    EXPECT_EQ(plain.Text(), QStringLiteral("bold"));
    EXPECT_FALSE(plain.SelectionFormat()->Style() & fsBold);

    // What does not fit under the text limit is left out.
    TNoteEdit limited;
    limited.SetMaxLength(2);
    limited.PasteFromClipboard();
    EXPECT_EQ(limited.Text(), QStringLiteral("bo"));
}

TEST(Control, AddressDisplayNeverMarksTheTextModifiedEvenWithoutUndo)
{
    TNoteEdit edit;
    edit.SetUndoLimit(0);
    edit.show();
    edit.SetText(QStringLiteral("go to http://example.org now"));
    edit.SetModified(false);
    int changes = 0;
    edit.OnChange = [&] { ++changes; };
    QApplication::processEvents();
    edit.SetAutoURLDetect(false);
    edit.SetAutoURLDetect(true);
    QApplication::processEvents();
    EXPECT_FALSE(edit.Modified());
    EXPECT_EQ(changes, 0);
}

TEST(Control, HiddenTextIsKeptButNotShown)
{
    TNoteEdit edit;
    edit.show();
    loadRtf(edit, "{\\rtf1 shown{\\v hidden hidden hidden} shown}");
    QApplication::processEvents();
    EXPECT_EQ(edit.Text(), QStringLiteral("shownhidden hidden hidden shown"));
    const QTextLine line = edit.document()->begin().layout()->lineAt(0);
    TNoteEdit plain;
    plain.show();
    loadRtf(plain, "{\\rtf1 shown shown}");
    QApplication::processEvents();
    const QTextLine plainLine = plain.document()->begin().layout()->lineAt(0);
    EXPECT_LT(line.naturalTextWidth(), plainLine.naturalTextWidth() + 40);
    EXPECT_TRUE(platform::WriteRtf(*edit.document()).contains("hidden hidden hidden"));
}

TEST(Control, FindDialogSearchesAndReportsItsClosing)
{
    TNoteEdit edit;
    edit.show();
    edit.SetText(QStringLiteral("alpha beta alpha"));
    TFindDialog* dialog = edit.ShowFindDialog(QStringLiteral("alpha"));
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(edit.ShowFindDialog(QString()), dialog); // reused, text kept
    EXPECT_EQ(dialog->FindText(), QStringLiteral("alpha"));
    dialog->FindNextClick();
    EXPECT_EQ(edit.SelStart(), 0);
    dialog->FindNextClick();
    EXPECT_EQ(edit.SelStart(), 11);
    QString missing;
    edit.OnTextNotFound = [&](const QString& t) { missing = t; };
    dialog->FindNextClick();
    EXPECT_EQ(missing, QStringLiteral("alpha"));
    dialog->SetDown(false);
    dialog->FindNextClick();
    EXPECT_EQ(edit.SelStart(), 0);
    QDialog* closed = nullptr;
    edit.OnCloseFindDialog = [&](QDialog* d) { closed = d; };
    dialog->close();
    EXPECT_EQ(closed, dialog);
}
