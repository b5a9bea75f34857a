// Formatting from the tool bar, the ruler's markers, the status bar and the edit commands.
#include "EditorFixture.h"

#include "editor/ValueSpin.h"

#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QLineEdit>
#include <QMimeData>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QToolButton>

namespace {
void sendMouse(QWidget* w, QEvent::Type type, QPoint at, Qt::MouseButtons buttons)
{
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent e(type, at, w->mapToGlobal(at), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

// Drags a marker so that its left edge ends at left.
void dragMarkerTo(TRulerMarker* marker, int left)
{
    const QPoint grab(marker->width() / 2, 3);
    sendMouse(marker, QEvent::MouseButtonPress, grab, Qt::LeftButton);
    sendMouse(marker, QEvent::MouseMove, grab + QPoint(left - marker->x(), 0), Qt::LeftButton);
    ASSERT_EQ(marker->x(), left);
    sendMouse(marker, QEvent::MouseButtonRelease, grab, Qt::NoButton);
}
} // namespace

TEST_F(EditorTest, RulerMarkersFollowTheParagraphAndSetItsIndentsWhenDropped)
{
    openNode("n");
    type("some text");
    TNoteParaAttributes* p = form->Editor->ParagraphFormat();
    p->SetFirstIndent(10);
    p->SetLeftIndent(5);
    p->SetRightIndent(9);
    form->SelectionChange();
    const int width = form->Ruler->width();
    EXPECT_EQ(form->FirstInd->x(), 15);            // trunc(10 * 4/3) + 2
    EXPECT_EQ(form->LeftInd->x(), 22);             // trunc(15 * 4/3) + 2
    EXPECT_EQ(form->RightInd->x(), width - 6 - 20); // trunc((9 + 6) * 4/3)

    // The left marker's edge plus the drag offset at 46: trunc(40 / (4/3)) - 10 = 20 points.
    dragMarkerTo(form->LeftInd, 46 - form->LeftInd->width() / 2);
    EXPECT_EQ(form->RulerDragOffset, form->LeftInd->width() / 2);
    EXPECT_FALSE(form->RulerDragging);
    EXPECT_EQ(p->LeftIndent(), 20);
    EXPECT_EQ(p->FirstIndent(), 10);
    EXPECT_EQ(form->LeftInd->x(), 42); // placed again: trunc(30 * 4/3) + 2

    // The right marker: trunc((width - left + offset - 2) / (4/3)) - 12.
    dragMarkerTo(form->RightInd, width - 37 + form->RightInd->width() / 2 - 5);
    EXPECT_EQ(p->RightIndent(), 18);

    // The first-line marker sets the first-line indent, then the left rule runs with it.
    dragMarkerTo(form->FirstInd, 26 - form->FirstInd->width() / 2);
    EXPECT_EQ(p->FirstIndent(), 15);
    EXPECT_EQ(p->LeftIndent(), 30 - 15);
}

TEST_F(EditorTest, StyleButtonsBoldTheSelectionOrTheWordAtTheCaret)
{
    openNode("n");
    type("alpha beta gamma");
    TCustomNoteEdit* e = form->Editor;
    auto boldAt = [e](int pos) {
        e->SetSelection(pos, pos + 1);
        return bool(e->SelectionFormat()->Style() & fsBold);
    };
    e->SetSelection(6, 8); // "be"
    QTest::mouseClick(form->BoldButton, Qt::LeftButton);
    EXPECT_TRUE(boldAt(6));
    EXPECT_TRUE(boldAt(7));
    EXPECT_FALSE(boldAt(8));
    EXPECT_FALSE(boldAt(0));
    e->SetSelection(13, 13); // inside "gamma"
    EXPECT_FALSE(form->BoldButton->isChecked());
    QTest::mouseClick(form->BoldButton, Qt::LeftButton);
    EXPECT_TRUE(boldAt(11));
    EXPECT_TRUE(boldAt(15));
    EXPECT_FALSE(boldAt(9));
    e->SetSelection(12, 12);
    EXPECT_TRUE(form->BoldButton->isChecked());
    // The other style buttons follow the selection too.
    e->SetSelection(0, 5);
    QTest::mouseClick(form->ItalicButton, Qt::LeftButton);
    QTest::mouseClick(form->UnderlineButton, Qt::LeftButton);
    e->SetSelection(1, 2);
    EXPECT_TRUE(form->ItalicButton->isChecked());
    EXPECT_TRUE(form->UnderlineButton->isChecked());
    EXPECT_FALSE(form->BoldButton->isChecked());
}

TEST_F(EditorTest, AlignmentButtonsWriteTheParagraphAndIgnoreJustifiedOnes)
{
    openNode("n");
    type("first");
    QTest::keyClick(form->Editor, Qt::Key_Return);
    type("second");
    TCustomNoteEdit* e = form->Editor;
    e->SetSelection(1, 1);
    QTest::mouseClick(form->CenterAlign, Qt::LeftButton);
    EXPECT_EQ(e->ParagraphFormat()->Alignment(), taCenter);
    e->SetSelection(8, 8);
    e->ParagraphFormat()->SetAlignment(taJustify);
    e->SetSelection(1, 1);
    EXPECT_TRUE(form->CenterAlign->isChecked());
    e->SetSelection(8, 8);
    EXPECT_TRUE(form->CenterAlign->isChecked()); // justified: the buttons stay
    e->SetSelection(1, 1);
    QTest::mouseClick(form->RightAlign, Qt::LeftButton);
    EXPECT_EQ(e->ParagraphFormat()->Alignment(), taRightJustify);
    QTest::mouseClick(form->CenterAlign, Qt::LeftButton);
    ASSERT_TRUE(form->FileSave());
    EXPECT_TRUE(read(file("n.rtf")).contains("\\qc"));
    EXPECT_TRUE(read(file("n.rtf")).contains("\\qj"));
}

TEST_F(EditorTest, BulletsRaiseTheLeftIndentAndHiddenTextFollowsItsMenuItem)
{
    openNode("n");
    type("item");
    TNoteParaAttributes* p = form->Editor->ParagraphFormat();
    p->SetLeftIndent(5);
    QTest::mouseClick(form->BulletsBtn, Qt::LeftButton);
    EXPECT_EQ(p->Numbering(), nsBullet);
    EXPECT_EQ(p->LeftIndent(), 10);
    QTest::mouseClick(form->BulletsBtn, Qt::LeftButton);
    EXPECT_EQ(p->Numbering(), nsNone);
    EXPECT_EQ(p->LeftIndent(), 0);

    form->Editor->SetSelection(0, 2);
    form->HiddenItem->trigger();
    EXPECT_TRUE(form->Editor->SelectionFormat()->Hidden());
    EXPECT_TRUE(form->HiddenItem->isChecked());
    form->HiddenItem->trigger();
    EXPECT_FALSE(form->Editor->SelectionFormat()->Hidden());
    EXPECT_FALSE(form->HiddenItem->isChecked());
}

TEST_F(EditorTest, TheSizeBoxAppliesWholeSizesAndRefusesTheRest)
{
    openNode("n");
    type("text");
    TCustomNoteEdit* e = form->Editor;
    e->SetSelection(0, 4);
    form->FontSize->setText("14");
    EXPECT_EQ(e->SelectionFormat()->Size(), 14);
    form->FontSize->setText("");
    form->FontSize->setText("-");
    EXPECT_TRUE(dialogs->messages().isEmpty());
    form->FontSize->setText("a");
    form->FontSize->setText("ab");
    form->FontSize->setText("abc");
    EXPECT_EQ(dialogs->messages(), QStringList{"'a' is not a valid integer value"});
    EXPECT_EQ(e->SelectionFormat()->Size(), 14);
    form->FontSize->setText("5000");
    EXPECT_EQ(e->SelectionFormat()->Size(), 14);
    EXPECT_EQ(form->FontSize->text(), "14");
    form->FontSize->setText("0");
    EXPECT_EQ(e->SelectionFormat()->Size(), 14);
    // The up-down control steps the number in the box.
    QTest::mouseClick(form->UpDown1->UpButton(), Qt::LeftButton);
    EXPECT_EQ(e->SelectionFormat()->Size(), 15);
    // The name box.
    form->FontName->setEditText("Liberation Serif");
    emit form->FontName->textActivated("Liberation Serif");
    EXPECT_EQ(e->SelectionFormat()->Name(), "Liberation Serif");
    EXPECT_EQ(form->FontName->width(), 125);
    EXPECT_GT(form->FontName->count(), 2);
}

TEST_F(EditorTest, TheStatusBarShowsTheCaretLineCountingWrappedLines)
{
    openNode("n");
    form->show();
    QApplication::processEvents();
    // The first paragraph wraps into two lines.
    type(QString(60, 'w').split("").join(" ").simplified());
    QTest::keyClick(form->Editor, Qt::Key_Return);
    type("0123456789abcdef");
    TCustomNoteEdit* e = form->Editor;
    const int line = e->LineFromChar(e->TextLength());
    ASSERT_EQ(line, 2) << "the first paragraph should wrap";
    e->SetSelection(e->LineIndex(2) + 11, e->LineIndex(2) + 11);
    EXPECT_EQ(form->StatusPanel0->text(), "Line:   3   Col:  12");
    EXPECT_EQ(form->StatusPanel0->width(), 120);
    EXPECT_EQ(form->StatusPanel1->width(), 60);
    EXPECT_EQ(form->StatusPanel2->width(), 50);
}

TEST_F(EditorTest, HintsTurnTheStatusBarIntoOnePanelAndBack)
{
    openNode("n");
    form->show();
    type("x");
    QEvent enter(QEvent::Enter);
    QApplication::sendEvent(form->FontName, &enter);
    EXPECT_EQ(form->StatusBar->currentMessage(), "Select font name");
    EXPECT_TRUE(form->StatusPanel0->isHidden());
    EXPECT_EQ(panel1(), "Modified");
    EXPECT_EQ(form->FontName->toolTip(), "Font Name");
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(form->FontName, &leave);
    EXPECT_EQ(form->StatusBar->currentMessage(), "");
    EXPECT_FALSE(form->StatusPanel0->isHidden());
    // Actions hint through the same handler.
    form->EditCopyCmd->showStatusText(form);
    EXPECT_EQ(form->StatusBar->currentMessage(), "Copy selected item to clipboard");
    EXPECT_EQ(form->BulletsBtn->statusTip(), "Enter bullet mode");
}

TEST_F(EditorTest, EditCommandsFollowTheSelectionUndoAndClipboard)
{
    openNode("n");
    EXPECT_FALSE(form->EditUndoCmd->isEnabled());
    type("abc");
    EXPECT_TRUE(form->EditUndoCmd->isEnabled());
    EXPECT_FALSE(form->EditCutCmd->isEnabled());
    EXPECT_FALSE(form->EditCopyCmd->isEnabled());
    form->Editor->SetSelection(0, 2);
    EXPECT_TRUE(form->EditCutCmd->isEnabled());
    EXPECT_TRUE(form->EditCopyCmd->isEnabled());
    QApplication::clipboard()->clear();
    EXPECT_FALSE(form->EditPasteCmd->isEnabled());
    form->EditCopyCmd->trigger();
    EXPECT_TRUE(form->EditPasteCmd->isEnabled());
    EXPECT_EQ(QApplication::clipboard()->text(), "ab");

    form->Editor->SetSelection(3, 3);
    form->EditUndoCmd->trigger();
    form->Editor->SetModified(false);
    form->RichEditChange();
    const QString before = form->Editor->Text();
    QTest::mouseClick(form->ToolButton3, Qt::LeftButton);
    EXPECT_NE(form->Editor->Text(), before);
    EXPECT_EQ(panel1(), "Modified");
}

TEST_F(EditorTest, ShortcutsActInsideTheEditorAndTheMenusHoldTheTableItems)
{
    openNode("n");
    form->show();
    QApplication::setActiveWindow(form);
    form->Editor->setFocus();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form));
    type("abc");
    dialogs->pushAnswer(platform::MsgResult::Cancel);
    QTest::keyClick(form->Editor, Qt::Key_N, Qt::ControlModifier);
    EXPECT_EQ(dialogs->messages(), QStringList{"Save changes to " + file("n.rtf") + "?"});
    EXPECT_EQ(form->Editor->Text(), "abc");
    QTest::keyClick(form->Editor, Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(panel1(), "");
    EXPECT_TRUE(QFileInfo::exists(file("n.rtf")));
    QTest::keyClick(form->Editor, Qt::Key_X, Qt::AltModifier);
    EXPECT_FALSE(form->isVisible());

    QStringList items;
    for (QAction* menu : form->MainMenu->actions()) {
        items << menu->text();
        for (QAction* a : menu->menu()->actions())
            items << a->text() + (a->shortcut().isEmpty() ? QString() : "\t" + a->shortcut().toString());
    }
    EXPECT_EQ(items, (QStringList{"&File", "&New\tCtrl+N", "&Open...\tCtrl+O", "&Save\tCtrl+S", "Save &As...",
                                  "&Print\tCtrl+P", "&Edit", "&Undo\tCtrl+Z", "Cu&t\tCtrl+X", "&Copy\tCtrl+C",
                                  "&Paste\tCtrl+V", "&Font...", "Insert", "Picture", "Object", "Format", "Paragraph",
                                  "Hiden"}));
    EXPECT_EQ(form->FileExitCmd->shortcut(), QKeySequence("Alt+X"));
    EXPECT_TRUE(form->HiddenItem->isCheckable());
}

TEST_F(EditorTest, TheFontDialogStartsFromTheSelectionAndAppliesItsChoice)
{
    openNode("n");
    type("word");
    form->Editor->SetSelection(0, 4);
    platform::FontChoice chosen;
    chosen.name = "Liberation Mono";
    chosen.size = 20;
    chosen.italic = true;
    dialogs->pushFont(chosen);
    form->EditFontCmd->trigger();
    ASSERT_EQ(dialogs->shown().size(), 1);
    EXPECT_EQ(dialogs->shown()[0].kind, "font");
    EXPECT_EQ(dialogs->shown()[0].text, "Arial");
    TNoteTextAttributes* s = form->Editor->SelectionFormat();
    EXPECT_EQ(s->Name(), "Liberation Mono");
    EXPECT_EQ(s->Size(), 20);
    EXPECT_EQ(s->Style(), fsItalic);
    EXPECT_EQ(form->FontSize->text(), "20");
    EXPECT_TRUE(form->ItalicButton->isChecked());
}

TEST_F(EditorTest, TheFontDialogOnAMixedSelectionWritesOnlyTheStyleTheUserChanged)
{
    openNode("n");
    type("one two");
    TCustomNoteEdit* e = form->Editor;
    e->SetSelection(0, 3);
    QTest::mouseClick(form->BoldButton, Qt::LeftButton);
    e->SetSelection(0, 7);
    // The dialog starts bold (from "one") and the user only ticks italic.
    platform::FontChoice chosen;
    chosen.name = e->SelectionFormat()->Name();
    chosen.size = e->SelectionFormat()->Size();
    chosen.bold = true;
    chosen.italic = true;
    dialogs->pushFont(chosen);
    form->EditFontCmd->trigger();
    e->SetSelection(1, 2);
    EXPECT_EQ(e->SelectionFormat()->Style(), fsBold | fsItalic);
    e->SetSelection(5, 6);
    EXPECT_EQ(e->SelectionFormat()->Style(), fsItalic);
}
