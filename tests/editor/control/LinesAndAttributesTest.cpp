// The lines list and the character and paragraph attributes in whole points.
#include "editor/NoteEdit.h"
#include "platform/richedit/RichFormat.h"

#include <QTextDocument>
#include <gtest/gtest.h>

namespace {

void loadRtf(TNoteEdit& edit, const QByteArray& rtf)
{
    QTextDocument* doc = new QTextDocument;
    ASSERT_TRUE(platform::ReadRtf(rtf, *doc));
    edit.AdoptDocument(doc);
}

QByteArray saved(TNoteEdit& edit)
{
    return platform::WriteRtf(*edit.document());
}

} // namespace

TEST(Lines, ParagraphsAndLineBreaksAreLines)
{
    TNoteEdit edit;
    EXPECT_EQ(edit.Lines()->Count(), 0);
    loadRtf(edit, "{\\rtf1 one\\line two\\par three\\par}");
    EXPECT_EQ(edit.Lines()->ToStringList(), (QStringList{"one", "two", "three"}));
    EXPECT_EQ(edit.Lines()->Text(), QStringLiteral("one\r\ntwo\r\nthree\r\n"));
}

TEST(Lines, InsertPutDelete)
{
    TNoteEdit edit;
    edit.Lines()->Insert(0, QStringLiteral("first"));
    EXPECT_EQ(edit.Lines()->ToStringList(), QStringList{"first"});
    edit.Lines()->Add(QStringLiteral("second")); // appends after a last empty line
    EXPECT_EQ(edit.Lines()->ToStringList(), (QStringList{"first", "second"}));
    // One past a last line that is not empty appends a line.
    edit.Lines()->Insert(2, QStringLiteral("third"));
    EXPECT_EQ(edit.Lines()->ToStringList(), (QStringList{"first", "second", "third"}));
    // Further past: nothing happens.
    edit.Lines()->Insert(7, QStringLiteral("far"));
    edit.Lines()->Insert(-1, QStringLiteral("neg"));
    EXPECT_EQ(edit.Lines()->Count(), 3);
    edit.Lines()->Insert(1, QStringLiteral("between"));
    edit.Lines()->Put(0, QStringLiteral("FIRST"));
    edit.Lines()->Delete(2);
    EXPECT_EQ(edit.Lines()->ToStringList(), (QStringList{"FIRST", "between", "third"}));
    edit.Lines()->Delete(2);
    EXPECT_EQ(edit.Lines()->ToStringList(), (QStringList{"FIRST", "between"}));

    edit.Lines()->Assign(QStringList{"x", "y"});
    EXPECT_EQ(edit.Lines()->ToStringList(), (QStringList{"x", "y"}));
}

TEST(TextAttributes, SizesAreWholePointsOfHalfPoints)
{
    TNoteEdit edit;
    loadRtf(edit, "{\\rtf1{\\fonttbl{\\f0\\fcharset204 Times New Roman;}}\\f0\\fs23 eleven and a half}");
    edit.SetSelection(0, 6);
    EXPECT_EQ(edit.SelectionFormat()->Size(), 11);
    EXPECT_EQ(edit.SelectionFormat()->Name(), QStringLiteral("Times New Roman"));
    EXPECT_EQ(edit.SelectionFormat()->Charset(), 204);
    edit.SelectionFormat()->SetSize(12);
    EXPECT_EQ(edit.SelectionFormat()->Size(), 12);
    EXPECT_TRUE(saved(edit).contains("\\fs24 eleven")) << saved(edit).toStdString();
}

TEST(TextAttributes, StyleColourAndFlags)
{
    TNoteEdit edit;
    edit.SetText(QStringLiteral("some words here"));
    edit.SetSelection(0, 4);
    edit.SelectionFormat()->SetStyle(fsBold | fsUnderline);
    edit.SelectionFormat()->SetColor(clRed);
    edit.SetSelection(1, 2);
    EXPECT_EQ(edit.SelectionFormat()->Style(), fsBold | fsUnderline);
    EXPECT_EQ(edit.SelectionFormat()->Color(), clRed);
    edit.SetSelection(6, 7);
    EXPECT_EQ(edit.SelectionFormat()->Style(), 0);
    EXPECT_EQ(edit.SelectionFormat()->Color(), clWindowText);

    // A bold font in the window text colour gives bold text in the automatic colour.
    edit.SetSelection(5, 10);
    TFont font;
    font.Name = QStringLiteral("Courier New");
    font.Size = 14;
    font.Style = fsBold;
    font.Color = clWindowText;
    font.Pitch = fpFixed;
    edit.SelectionFormat()->Assign(font);
    EXPECT_EQ(edit.SelectionFormat()->Color(), clWindowText);
    EXPECT_TRUE(edit.SelectionFormat()->Style() & fsBold);
    EXPECT_EQ(edit.SelectionFormat()->Pitch(), fpFixed);
    EXPECT_EQ(edit.SelectionFormat()->Size(), 14);
    TFont back;
    edit.SelectionFormat()->AssignTo(back);
    EXPECT_EQ(back.Name, QStringLiteral("Courier New"));

    edit.SelectionFormat()->SetHidden(true);
    edit.SelectionFormat()->SetProtected(true);
    EXPECT_TRUE(edit.SelectionFormat()->Hidden());
    EXPECT_TRUE(edit.SelectionFormat()->Protected());

    // With no selection the word kind changes the word around the caret.
    edit.SetSelection(12, 12);
    edit.WordFormat()->SetStyle(fsItalic);
    edit.SetSelection(11, 15);
    EXPECT_EQ(edit.SelectionFormat()->Style(), fsItalic);
}

TEST(TextAttributes, DefaultFormatIsWhatAnEmptyNoteTypes)
{
    TNoteEdit edit;
    edit.DefaultFormat()->SetName(QStringLiteral("Arial"));
    edit.DefaultFormat()->SetSize(12);
    EXPECT_EQ(edit.DefaultFormat()->Size(), 12);
    edit.ReplaceSelection(QStringLiteral("typed"));
    edit.SetSelection(0, 3);
    EXPECT_EQ(edit.SelectionFormat()->Size(), 12);
    EXPECT_EQ(edit.SelectionFormat()->Name(), QStringLiteral("Arial"));
}

TEST(ParaAttributes, IndentsInPointsAndExactTwips)
{
    TNoteEdit edit;
    loadRtf(edit, "{\\rtf1\\pard\\li720\\fi-360 hanging\\par}");
    EXPECT_EQ(edit.ParagraphFormat()->FirstIndent(), 18);
    EXPECT_EQ(edit.ParagraphFormat()->LeftIndent(), 18);

    // \li567\fi-283 survives a load and save untouched when nobody edits it.
    TNoteEdit exact;
    loadRtf(exact, "{\\rtf1\\pard\\li567\\fi-283 x\\par}");
    EXPECT_EQ(exact.ParagraphFormat()->FirstIndent(), 14); // 284 twips
    EXPECT_EQ(exact.ParagraphFormat()->LeftIndent(), 14);  // 283 twips
    const QByteArray out = saved(exact);
    EXPECT_TRUE(out.contains("\\li567") && out.contains("\\fi-283")) << out.toStdString();

    edit.ParagraphFormat()->SetFirstIndent(10);
    EXPECT_EQ(edit.ParagraphFormat()->FirstIndent(), 10);
    EXPECT_EQ(edit.ParagraphFormat()->LeftIndent(), 18); // the offset stays
    edit.ParagraphFormat()->SetRightIndent(30);
    EXPECT_EQ(edit.ParagraphFormat()->RightIndent(), 30);
    const QByteArray edited = saved(edit);
    EXPECT_TRUE(edited.contains("\\li560") && edited.contains("\\fi-360") && edited.contains("\\ri600"))
        << edited.toStdString();
}

TEST(ParaAttributes, BulletsMoveTheLeftIndent)
{
    TNoteEdit edit;
    loadRtf(edit, "{\\rtf1\\pard\\fi-80\\li80 item\\par}");
    EXPECT_EQ(edit.ParagraphFormat()->LeftIndent(), 4);
    edit.ParagraphFormat()->SetNumbering(nsBullet);
    EXPECT_EQ(edit.ParagraphFormat()->Numbering(), nsBullet);
    EXPECT_EQ(edit.ParagraphFormat()->LeftIndent(), 10);
    EXPECT_TRUE(saved(edit).contains("\\pn")) << saved(edit).toStdString();
    edit.ParagraphFormat()->SetNumbering(nsNone);
    EXPECT_EQ(edit.ParagraphFormat()->Numbering(), nsNone);
    EXPECT_EQ(edit.ParagraphFormat()->LeftIndent(), 0);
}

TEST(ParaAttributes, AlignmentSpacingTabsAcrossTheSelection)
{
    TNoteEdit edit;
    edit.SetText(QStringLiteral("one\rtwo\rthree"));
    edit.SetSelection(1, 5); // the first two paragraphs
    edit.ParagraphFormat()->SetAlignment(taJustify);
    edit.ParagraphFormat()->SetSpaceBefore(6);
    edit.ParagraphFormat()->SetLineSpacingRule(3);
    edit.ParagraphFormat()->SetLineSpacing(12);
    edit.ParagraphFormat()->SetTab(0, 36);
    edit.SetSelection(5, 5);
    EXPECT_EQ(edit.ParagraphFormat()->Alignment(), taJustify);
    EXPECT_EQ(edit.ParagraphFormat()->SpaceBefore(), 6);
    EXPECT_EQ(edit.ParagraphFormat()->LineSpacingRule(), 3);
    EXPECT_EQ(edit.ParagraphFormat()->LineSpacing(), 12);
    EXPECT_EQ(edit.ParagraphFormat()->TabCount(), 1);
    EXPECT_EQ(edit.ParagraphFormat()->Tab(0), 36);
    edit.SetSelection(9, 9);
    EXPECT_EQ(edit.ParagraphFormat()->Alignment(), taLeftJustify);
    EXPECT_EQ(edit.ParagraphFormat()->SpaceBefore(), 0);
    // One undo step takes the whole change back.
    edit.Undo();
    edit.SetSelection(0, 0);
    EXPECT_EQ(edit.ParagraphFormat()->TabCount(), 0);
}

TEST(Lines, AddingManyLinesEqualsAddingThemOneByOne)
{
    const QStringList list{"a", "", "b c", "d"};
    for (const QString& start : {QString(), QStringLiteral("x"), QStringLiteral("x\r")}) {
        TNoteEdit bulk, single;
        bulk.SetText(start);
        single.SetText(start);
        bulk.Lines()->AddStrings(list);
        for (const QString& s : list)
            single.Lines()->Add(s);
        EXPECT_EQ(bulk.Text(), single.Text()) << start.toStdString();
    }
    // Lines change as the text changes, with or without undo.
    TNoteEdit edit;
    edit.SetUndoLimit(0);
    edit.SetText(QStringLiteral("one\rtwo"));
    EXPECT_EQ(edit.Lines()->Get(1), QStringLiteral("two"));
    edit.SetSelection(4, 7);
    edit.ReplaceSelection(QStringLiteral("six"));
    EXPECT_EQ(edit.Lines()->Get(1), QStringLiteral("six"));
}

TEST(TextAttributes, ControlFontBecomesTheDefaultFormat)
{
    TNoteEdit edit;
    QFont f(QStringLiteral("Arial"));
    f.setPixelSize(15); // the editor's font: height -15
    edit.setFont(f);
    EXPECT_EQ(edit.DefaultFormat()->Name(), QStringLiteral("Arial"));
    EXPECT_EQ(edit.DefaultFormat()->Size(), int(15 * 72.0 / edit.logicalDpiY()));
    EXPECT_GT(edit.DefaultFormat()->Size(), 5);
}
