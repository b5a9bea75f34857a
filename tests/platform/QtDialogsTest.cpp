// The desktop dialogs the note editor uses: the open dialog's read-only box, filters without
// regard to letter case, the PDF printer.
#include "platform/ui/QtDialogs.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QPrinter>
#include <QRegularExpression>
#include <QTimer>
#include <gtest/gtest.h>

TEST(QtDialogs, TheOpenDialogAnswersItsReadOnlyBox)
{
    testsupport::TempDir dir;
    testsupport::writeFile(dir.file("NOTE.RTF"), "{\\rtf1 x}");
    platform::QtDialogs d;
    QStringList shown;
    QTimer::singleShot(0, [&] {
        auto* dlg = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dlg, nullptr);
        QCheckBox* box = nullptr;
        for (QCheckBox* c : dlg->findChildren<QCheckBox*>())
            if (c->text() == "Open as read-only")
                box = c;
        ASSERT_NE(box, nullptr);
        box->setChecked(true);
        shown = dlg->nameFilters();
        dlg->selectFile(dir.file("NOTE.RTF"));
        QMetaObject::invokeMethod(dlg, "accept");
    });
    bool readOnly = false;
    const QString name = d.openFileNameReadOnly("Open", dir.path(), "Rich Text Files (*.rtf)|*.rtf|Text Files (*.TXT)|*.TXT",
                                                readOnly);
    EXPECT_EQ(name, dir.file("NOTE.RTF"));
    EXPECT_TRUE(readOnly);
    EXPECT_EQ(shown, (QStringList{"Rich Text Files (*.[rR][tT][fF])", "Text Files (*.[tT][xX][tT])"}));
}

TEST(QtDialogs, FiltersMatchWithoutRegardToCase)
{
    EXPECT_EQ(platform::caseInsensitiveFilter("Picture files (*.bmp;*.jpg;*.gif)|*.bmp;*.jpg;*.gif"),
              "Picture files (*.[bB][mM][pP] *.[jJ][pP][gG] *.[gG][iI][fF])");
    const QRegularExpression re(QRegularExpression::wildcardToRegularExpression("*.[jJ][pP][gG]"));
    EXPECT_TRUE(re.match("photo.JPG").hasMatch());
    EXPECT_TRUE(re.match("photo.jpg").hasMatch());
    EXPECT_FALSE(re.match("photo.png").hasMatch());
}

TEST(QtDialogs, APdfPrinterWritesTheFileItNames)
{
    testsupport::TempDir dir;
    auto p = platform::pdfPrinter(dir.file("out.pdf"));
    EXPECT_EQ(p->outputFormat(), QPrinter::PdfFormat);
    EXPECT_EQ(p->outputFileName(), dir.file("out.pdf"));
}
