// The paragraph dialog, run modally from the editor and answered from inside its loop.
#include "EditorFixture.h"

#include "editor/ParaFmt.h"
#include "editor/ValueSpin.h"

#include <QAction>
#include <QBuffer>
#include <QFocusEvent>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

namespace {

// Runs answer on the paragraph dialog once its modal loop runs.
void answerDialog(const std::function<void(TParaFormatDlg*)>& answer)
{
    QTimer::singleShot(0, [answer] {
        auto* dlg = qobject_cast<TParaFormatDlg*>(QApplication::activeModalWidget());
        if (!dlg) {
            ADD_FAILURE() << "no paragraph dialog";
            return;
        }
        answer(dlg);
    });
}

} // namespace

TEST_F(EditorTest, TheParagraphDialogShowsAndWritesTheParagraph)
{
    openNode("n");
    type("para");
    TNoteParaAttributes* p = form->Editor->ParagraphFormat();
    p->SetLeftIndent(7);
    p->SetFirstIndent(3);
    p->SetRightIndent(2);
    p->SetAlignment(taRightJustify);
    p->SetSpaceBefore(4);
    bool checked = false;
    answerDialog([&](TParaFormatDlg* dlg) {
        checked = true;
        EXPECT_EQ(dlg->windowTitle(), "Paragraph form");
        EXPECT_EQ(dlg->LeftIndent->text(), "7");
        EXPECT_EQ(dlg->FirstIndent->text(), "3");
        EXPECT_EQ(dlg->RightIndent->text(), "2");
        EXPECT_EQ(dlg->ItemIndex(), 1);
        EXPECT_EQ(dlg->SpaceBefore->text(), "4");
        EXPECT_TRUE(dlg->SpacingBox->isEnabled());
        EXPECT_EQ(dlg->LineSpacing->Increment(), 5);
        EXPECT_EQ(dlg->LeftIndent->ButtonKind(), bkStandard);
        EXPECT_EQ(dlg->SpaceAfter->MaxValue(), 2147483647.0);
        dlg->LeftIndent->SetAsInteger(12);
        dlg->SetItemIndex(2);
        dlg->LineSpacing->SetAsInteger(12);
        dlg->SpaceAfter->SetAsInteger(2147483647);
        QTest::mouseClick(dlg->OkBtn, Qt::LeftButton);
    });
    form->Paragraph1->trigger();
    ASSERT_TRUE(checked);
    EXPECT_EQ(p->LeftIndent(), 12);
    EXPECT_EQ(p->Alignment(), taCenter);
    EXPECT_EQ(p->LineSpacingRule(), 3);
    EXPECT_EQ(p->LineSpacing(), 12);
    EXPECT_EQ(p->SpaceAfter(), 1584); // the largest spacing word processors accept
    ASSERT_TRUE(form->FileSave());
    EXPECT_TRUE(read(file("n.rtf")).contains("\\sl240\\slmult0"));

    // A line spacing of 0 means single spacing.
    answerDialog([](TParaFormatDlg* dlg) {
        dlg->LineSpacing->SetAsInteger(0);
        QTest::keyClick(dlg->LineSpacing, Qt::Key_Return); // Enter in a spin edit presses OK
    });
    form->Paragraph1Click();
    EXPECT_EQ(p->LineSpacingRule(), 0);
    EXPECT_FALSE(QApplication::activeModalWidget());
}

TEST_F(EditorTest, CancelAndEscLeaveTheNoteAsItWas)
{
    write(file("n.rtf"), "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}\\li200 text\\par}");
    openNode("n");
    ASSERT_TRUE(form->Editor->Text().startsWith("text"));
    auto rtf = [this] {
        QBuffer b;
        b.open(QIODevice::WriteOnly);
        form->Editor->Lines()->SaveToStream(b);
        return b.data();
    };
    const QByteArray before = rtf();
    answerDialog([](TParaFormatDlg* dlg) {
        dlg->LeftIndent->SetAsInteger(50);
        QTest::mouseClick(dlg->CancelBtn, Qt::LeftButton);
    });
    EXPECT_FALSE(TParaFormatDlg::Execute(form->Editor->ParagraphFormat(), form));
    answerDialog([](TParaFormatDlg* dlg) {
        dlg->LeftIndent->SetAsInteger(50);
        QTest::keyClick(dlg->LeftIndent, Qt::Key_Escape);
    });
    EXPECT_FALSE(TParaFormatDlg::Execute(form->Editor->ParagraphFormat(), form));
    EXPECT_EQ(rtf(), before);
    EXPECT_EQ(panel1(), "");
    EXPECT_FALSE(form->Editor->Modified());
}

TEST_F(EditorTest, AJustifiedParagraphStaysJustifiedAndNegativeSpacingIsLimited)
{
    openNode("n");
    type("para");
    TNoteParaAttributes* p = form->Editor->ParagraphFormat();
    p->SetAlignment(taJustify);
    answerDialog([](TParaFormatDlg* dlg) {
        EXPECT_EQ(dlg->ItemIndex(), -1);
        EXPECT_FALSE(dlg->AlignLeft->isChecked() || dlg->AlignRight->isChecked() || dlg->AlignCenter->isChecked());
        dlg->SpaceBefore->setText("-5");
        QFocusEvent leave(QEvent::FocusOut, Qt::TabFocusReason); // leaving the field limits it
        QApplication::sendEvent(dlg->SpaceBefore, &leave);
        EXPECT_EQ(dlg->SpaceBefore->text(), "0");
        dlg->SpaceAfter->setText("-7"); // still being typed when OK is pressed
        dlg->OkBtn->click();
    });
    form->Paragraph1Click();
    EXPECT_EQ(p->Alignment(), taJustify);
    EXPECT_EQ(p->SpaceBefore(), 0);
    EXPECT_EQ(p->SpaceAfter(), 0);
}
