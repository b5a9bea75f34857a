// A note of one huge paragraph: loading lays none of it out, showing lays out what is shown,
// the caret's lines are laid out where it goes, and nothing of the text is lost.
#include "editor/NoteEdit.h"
#include "platform/richedit/RichLayout.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QFile>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <gtest/gtest.h>

namespace {

// Characters of the paragraph laid out so far: the end of its last line.
int laidChars(const QTextBlock& block)
{
    const QTextLayout* tl = block.layout();
    const int n = tl->lineCount();
    return n ? tl->lineAt(n - 1).textStart() + tl->lineAt(n - 1).textLength() : 0;
}

} // namespace

TEST(HugeParagraph, LaidOutOnlyAsFarAsShownAndNothingLost)
{
    // About 400,000 characters without a paragraph mark, bold words and Cyrillic in it.
    QByteArray rtf = "{\\rtf1\\ansi\\ansicpg1251{\\fonttbl{\\f0\\fcharset204 Arial;}}\\f0 ";
    QString want;
    for (int i = 0; rtf.size() < 600'000; ++i) {
        rtf += "word " + QByteArray::number(i) + " {\\b bold} \\'cf\\'f0\\'e8 ";
        want += QStringLiteral("word %1 bold При ").arg(i);
    }
    rtf += "end.}";
    want += QStringLiteral("end.");
    testsupport::TempDir dir;
    testsupport::writeFile(dir.file("huge.rtf"), rtf);
    ASSERT_GT(want.size(), platform::RichLayout::HugeBlock * 4);

    TNoteEdit edit;
    edit.resize(500, 400);
    edit.Lines()->LoadFromFile(dir.file("huge.rtf"));
    QTextDocument* doc = edit.document();
    ASSERT_EQ(doc->blockCount(), 1);
    EXPECT_EQ(doc->toPlainText(), want);
    // Loading lays out nothing of it.
    EXPECT_EQ(doc->begin().layout()->lineCount(), 0);

    // Shown: the first screen is laid out, not the whole paragraph.
    edit.show();
    const QImage shown = edit.viewport()->grab().toImage();
    const int firstScreen = laidChars(doc->begin());
    EXPECT_GT(firstScreen, 0);
    EXPECT_LT(firstScreen, want.size() / 4);
    int dark = 0;
    for (int y = 0; y < shown.height(); ++y)
        for (int x = 0; x < shown.width(); ++x)
            dark += qGray(shown.pixel(x, y)) < 128;
    EXPECT_GT(dark, 500) << "no text was painted";
    // The scroll range covers an estimate of the whole paragraph.
    EXPECT_GT(edit.verticalScrollBar()->maximum(), 20 * edit.viewport()->height());

    // The caret at the end: its lines are laid out and shown.
    QTest::keyClick(&edit, Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(edit.textCursor().position(), want.size());
    EXPECT_EQ(laidChars(doc->begin()), want.size());
    EXPECT_TRUE(edit.viewport()->rect().contains(edit.cursorRect().center()));
    QTest::keyClicks(&edit, QStringLiteral(" More"));
    EXPECT_TRUE(doc->toPlainText().endsWith(QStringLiteral("end. More")));

    // Saved whole, read back the same.
    edit.Lines()->SaveToFile(dir.file("saved.rtf"));
    TNoteEdit back;
    back.Lines()->LoadFromFile(dir.file("saved.rtf"));
    EXPECT_EQ(back.document()->toPlainText(), want + QStringLiteral(" More"));

    // A full layout places the lines as a layout from scratch does.
    auto* layout = qobject_cast<platform::RichLayout*>(doc->documentLayout());
    ASSERT_NE(layout, nullptr);
    layout->FinishLayout();
    EXPECT_EQ(laidChars(doc->begin()), doc->begin().length() - 1);
}
