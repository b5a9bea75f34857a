// Pictures, find, web addresses in the text and printing from the editor window.
#include "EditorFixture.h"

#include "graphics/Registrations.h"
#include "platform/richedit/JpegImage.h"
#include "platform/shell/Launcher.h"
#include "platform/ui/QtDialogs.h"

#include <QBuffer>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QImage>
#include <QLineEdit>
#include <QMimeData>
#include <QPrinter>
#include <QToolButton>

namespace {

class CommandsTest : public EditorTest {
protected:
    CommandsTest()
    {
        graphics::RegisterPictureUnits();
        platform::RegisterJpegPicture();
    }
    QByteArray jpegBytes(int w = 40, int h = 30) const
    {
        QImage img(w, h, QImage::Format_RGB32);
        img.fill(qRgb(200, 30, 30));
        QByteArray out;
        QBuffer b(&out);
        b.open(QIODevice::WriteOnly);
        img.save(&b, "JPG");
        return out;
    }
    // A 4 x 2 picture of 8 bits per pixel, run-length coded.
    static QByteArray rle8Bmp()
    {
        QByteArray pixels("\x04\x01\x00\x00\x04\x02\x00\x00\x00\x01", 10);
        QByteArray palette(256 * 4, '\0');
        palette[4] = char(255);     // index 1: blue
        palette[8 + 1] = char(255); // index 2: green
        const int offset = 14 + 40 + palette.size();
        QByteArray b;
        auto u16 = [&b](int v) { b.append(char(v & 0xff)).append(char((v >> 8) & 0xff)); };
        auto u32 = [&](int v) { u16(v & 0xffff); u16((v >> 16) & 0xffff); };
        b.append("BM");
        u32(offset + pixels.size());
        u32(0);
        u32(offset);
        u32(40);
        u32(4);
        u32(2);
        u16(1);
        u16(8);
        u32(1); // BI_RLE8
        u32(pixels.size());
        u32(2835);
        u32(2835);
        u32(256);
        u32(0);
        return b + palette + pixels;
    }
    int pictures() const { return int(form->Editor->Text().count(QChar(0xfffc))); }
    bool insertPicture(const QString& path)
    {
        dialogs->pushFileName(path);
        const int before = pictures();
        form->Picture1->trigger();
        return pictures() == before + 1;
    }
    static QByteArray flat(QByteArray rtf)
    {
        return rtf.replace("\r", "").replace("\n", "").toLower();
    }
    QString pdfInfo(const QString& pdf, const QString& field) const
    {
        QByteArray out;
        testsupport::runTool("pdfinfo", {pdf}, &out);
        for (const QByteArray& line : out.split('\n'))
            if (line.startsWith(field.toLatin1() + ":"))
                return QString::fromUtf8(line.mid(field.size() + 1)).trimmed();
        return QString();
    }
};

} // namespace

TEST_F(CommandsTest, PicturesGoInAtTheCaretAndTheClipboardStays)
{
    MV_REQUIRE_TESTDATA();
    const QByteArray jpeg = jpegBytes();
    write(file("p.jpg"), jpeg);
    QImage rgb(7, 5, QImage::Format_RGB888);
    rgb.fill(qRgb(10, 200, 10));
    ASSERT_TRUE(rgb.save(file("p24.BMP"), "BMP"));
    write(file("p8.bmp"), rle8Bmp());
    const QString gif = testsupport::testdataDir() + "/gif/wuffs/animated-red-blue.gif";

    QApplication::clipboard()->setText("kept");
    openNode("n");
    type("ab");
    form->Editor->SetSelection(1, 1);
    ASSERT_TRUE(insertPicture(file("p.jpg"))) << dialogs->messages().join("\n").toStdString();
    EXPECT_EQ(form->Editor->Text(), QString("a") + QChar(0xfffc) + "b");
    EXPECT_EQ(form->Editor->SelStart(), 2);
    EXPECT_TRUE(insertPicture(file("p24.BMP"))) << dialogs->messages().join("\n").toStdString();
    EXPECT_TRUE(insertPicture(file("p8.bmp"))) << dialogs->messages().join("\n").toStdString();
    EXPECT_TRUE(insertPicture(gif)) << dialogs->messages().join("\n").toStdString();
    EXPECT_EQ(pictures(), 4);
    EXPECT_TRUE(dialogs->messages().isEmpty());
    EXPECT_EQ(QApplication::clipboard()->text(), "kept");
    EXPECT_EQ(panel1(), "Modified");
    // One undo step takes the last picture out again.
    form->Editor->Undo();
    EXPECT_EQ(pictures(), 3);
    ASSERT_TRUE(form->FileSave());
    const QByteArray rtf = flat(read(file("n.rtf")));
    EXPECT_TRUE(rtf.contains("\\jpegblip"));
    EXPECT_TRUE(rtf.contains(jpeg.toHex())) << "the JPEG's own bytes";
    EXPECT_EQ(dialogs->shown()[0].kind, "open");
}

TEST_F(CommandsTest, TextTypedAfterAnInsertedPictureOrObjectKeepsTheFormatThere)
{
    QImage img(4, 4, QImage::Format_RGB32);
    img.fill(qRgb(0, 0, 200));
    ASSERT_TRUE(img.save(file("p.bmp"), "BMP"));
    write(file("o.txt"), "object");
    write(file("n.rtf"), "{\\rtf1\\ansi{\\fonttbl{\\f0\\fmodern Courier New;}}\\f0\\fs22 a\\par}");
    openNode("n");
    form->Editor->SetSelection(1, 1);
    ASSERT_TRUE(insertPicture(file("p.bmp")));
    EXPECT_EQ(form->FontName->currentText(), "Courier New");
    EXPECT_EQ(form->FontSize->text(), "11");
    type("b");
    ASSERT_TRUE(form->Editor->InsertObjectFromFile(file("o.txt"), false));
    form->Editor->SetSelection(4, 4);
    EXPECT_EQ(form->FontName->currentText(), "Courier New");
    EXPECT_EQ(form->FontSize->text(), "11");
    type("c");
    ASSERT_TRUE(form->FileSave());
    EXPECT_FALSE(read(file("n.rtf")).contains("\\fs24")) << read(file("n.rtf")).constData();

    openNode("n");
    ASSERT_EQ(form->Editor->Text(), QString("a") + QChar(0xfffc) + "b" + QChar(0xfffc) + "c");
    for (int at : {2, 4}) {
        form->Editor->SetSelection(at, at + 1);
        EXPECT_EQ(form->Editor->SelectionFormat()->Size(), 11) << at;
        EXPECT_EQ(form->Editor->SelectionFormat()->Name(), "Courier New") << at;
    }
}

TEST_F(CommandsTest, TextTypedAfterAPastedOrReloadedPictureOrObjectKeepsTheFormatThere)
{
    QImage img(4, 4, QImage::Format_RGB32);
    img.fill(qRgb(0, 0, 200));
    QByteArray png;
    QBuffer b(&png);
    b.open(QIODevice::WriteOnly);
    img.save(&b, "PNG");
    // An 11 pt note saved with a picture and an object, as the editor writes them.
    write(file("n.rtf"), "{\\rtf1\\ansi{\\fonttbl{\\f0\\fmodern Courier New;}}\\f0\\fs22 a{\\pict\\pngblip\\picw4\\pich4 "
                             + png.toHex() + "}{\\object\\objemb\\objw600\\objh600{\\*\\objclass Word.Document.8}"
                             "{\\*\\objdata 0102}}\\par}");
    openNode("n");
    ASSERT_EQ(form->Editor->Text(), QString("a") + QChar(0xfffc) + QChar(0xfffc));
    auto typeAt = [this](int at, const QString& text) {
        form->Editor->SetSelection(at, at);
        EXPECT_EQ(form->FontName->currentText().toStdString(), "Courier New") << at;
        EXPECT_EQ(form->FontSize->text().toStdString(), "11") << at;
        type(text);
    };
    typeAt(2, "b"); // after the reloaded picture
    typeAt(4, "c"); // after the reloaded object
    // The picture and the object copied and pasted at the end of the text.
    for (int from : {1, 3}) {
        form->Editor->SetSelection(from, from + 1);
        form->Editor->CopyToClipboard();
        const int end = form->Editor->TextLength();
        form->Editor->SetSelection(end, end);
        form->Editor->PasteFromClipboard();
        typeAt(end + 1, "d");
    }
    // A picture pasted from another program.
    auto* mime = new QMimeData;
    mime->setImageData(img);
    QApplication::clipboard()->setMimeData(mime);
    const int end = form->Editor->TextLength();
    form->Editor->SetSelection(end, end);
    form->Editor->PasteFromClipboard();
    ASSERT_EQ(form->Editor->TextLength(), end + 1);
    typeAt(end + 1, "e");
    ASSERT_TRUE(form->FileSave());
    const QByteArray rtf = read(file("n.rtf"));
    EXPECT_FALSE(rtf.contains("\\fs24")) << rtf.constData();
    EXPECT_FALSE(rtf.contains("\\f1")) << rtf.constData();
}

TEST_F(CommandsTest, PicturesThatCannotBeReadChangeNothing)
{
    openNode("n");
    type("text");
    form->Editor->SetModified(false);
    form->RichEditChange();
    const QByteArray jpeg = jpegBytes();
    write(file("p.png"), "png");
    write(file("cut.jpg"), jpeg.left(jpeg.size() / 3));
    // A frame of 60000 x 60000 pixels.
    QByteArray huge("GIF89a\x60\xea\x60\xea\x00\x00\x00,\x00\x00\x00\x00\x60\xea\x60\xea\x00\x02\x02\x44\x01\x00;", 27);
    write(file("huge.gif"), huge);
    // A JPEG whose frame header claims 30000 x 30000 pixels.
    QByteArray big = jpeg;
    const qsizetype sof = big.indexOf("\xff\xc0");
    ASSERT_GT(sof, 0);
    big[sof + 5] = char(0x75);
    big[sof + 6] = char(0x30);
    big[sof + 7] = char(0x75);
    big[sof + 8] = char(0x30);
    write(file("big.jpg"), big);

    for (const char* name : {"p.png", "cut.jpg", "huge.gif", "big.jpg"}) {
        dialogs->clear();
        EXPECT_FALSE(insertPicture(file(name))) << name;
        ASSERT_EQ(dialogs->messages().size(), 1) << name;
        if (QByteArray(name) == "p.png") {
            EXPECT_EQ(dialogs->messages()[0], "Unknown picture file extension (.png)");
        }
        EXPECT_EQ(form->Editor->Text(), "text") << name;
        EXPECT_EQ(panel1(), "") << name;
    }
}

TEST_F(CommandsTest, FindStartsWithTheSelectionAndReportsAMissOnce)
{
    openNode("n");
    type("alpha beta gamma beta");
    TCustomNoteEdit* e = form->Editor;
    e->SetSelection(6, 10);
    QTest::mouseClick(form->ToolButton4, Qt::LeftButton);
    auto* find = e->findChild<TFindDialog*>();
    ASSERT_NE(find, nullptr);
    EXPECT_TRUE(find->isVisible());
    EXPECT_EQ(find->FindText(), "beta");
    find->FindNextClick();
    EXPECT_EQ(e->SelStart(), 17);
    EXPECT_EQ(e->SelLength(), 4);
    EXPECT_EQ(e->LastFindDialog(), find);
    find->SetDown(false);
    find->FindNextClick();
    EXPECT_EQ(e->SelStart(), 6);
    EXPECT_TRUE(dialogs->messages().isEmpty());
    find->SetFindText("zzz");
    find->FindNextClick();
    EXPECT_EQ(dialogs->messages(), QStringList{"Text \"zzz\" not found."});
    EXPECT_EQ(dialogs->shown()[0].buttons, platform::MsgButtons::Ok);
    // The same dialog is used again, with nothing selected it keeps its text.
    e->SetSelection(0, 0);
    EXPECT_EQ(e->ShowFindDialog(e->SelText()), find);
    EXPECT_EQ(find->FindText(), "zzz");
}

TEST_F(CommandsTest, TheFindDialogMovesOffTheHit)
{
    openNode("n");
    form->move(0, 0);
    form->show();
    type("needle");
    TCustomNoteEdit* e = form->Editor;
    e->SetSelection(0, 0);
    TFindDialog* find = e->ShowFindDialog("needle");
    QApplication::processEvents();
    const QPoint hit = e->GetCharPos(0);
    find->move(hit - QPoint(10, 10));
    QApplication::processEvents();
    ASSERT_TRUE(find->frameGeometry().contains(hit));
    find->FindNextClick();
    QApplication::processEvents();
    EXPECT_EQ(e->SelLength(), 6);
    EXPECT_FALSE(find->frameGeometry().contains(e->GetCharPos(0)));
}

TEST_F(CommandsTest, AddressClicksGoToTheLauncherAsOneArgument)
{
    auto* recorder = new platform::RecordingLauncher;
    std::unique_ptr<platform::Launcher> old = platform::setLauncher(std::unique_ptr<platform::Launcher>(recorder));
    openNode("n");
    form->show();
    type("see www.example.org or http://second.example.net now");
    QApplication::processEvents();
    TCustomNoteEdit* e = form->Editor;
    auto pointAt = [e](int pos) {
        QTextCursor c(e->document());
        c.setPosition(pos);
        return e->cursorRect(c).center() + QPoint(2, 0);
    };
    QTest::mouseClick(e->viewport(), Qt::LeftButton, Qt::NoModifier, pointAt(8));
    ASSERT_EQ(recorder->calls.size(), 1);
    EXPECT_EQ(recorder->calls[0].document, "http://www.example.org");
    QTest::mouseClick(e->viewport(), Qt::RightButton, Qt::NoModifier, pointAt(8));
    EXPECT_EQ(recorder->calls.size(), 1);
    QTest::mousePress(e->viewport(), Qt::LeftButton, Qt::NoModifier, pointAt(8));
    QTest::mouseRelease(e->viewport(), Qt::LeftButton, Qt::NoModifier, pointAt(30));
    EXPECT_EQ(recorder->calls.size(), 1);

    // A program named by a "file:" address is not started.
    write(file("run.sh"), "#!/bin/sh\n");
    QFile::setPermissions(file("run.sh"), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    form->Editor1URLClick(QUrl::fromLocalFile(file("run.sh")).toString(), Qt::LeftButton);
    form->Editor1URLClick("file:///usr/share/applications/x.desktop", Qt::LeftButton);
    EXPECT_EQ(recorder->calls.size(), 1);
    EXPECT_EQ(dialogs->messages().size(), 2);
    form->Editor1URLClick("mailto:a@example.org", Qt::LeftButton);
    EXPECT_EQ(recorder->calls.last().document, "mailto:a@example.org");
    platform::setLauncher(std::move(old));
}

TEST_F(CommandsTest, PrintingWritesTheNoteAsAPdfTitledWithItsPath)
{
    if (!testsupport::haveTool("pdfinfo") || !testsupport::haveTool("pdftotext"))
        GTEST_SKIP() << "poppler-utils missing";
    openNode(QString::fromUtf8("Печать"));
    for (int i = 0; i < 200; ++i) {
        type(QString::fromUtf8("строка ") + QString::number(i));
        QTest::keyClick(form->Editor, Qt::Key_Return);
    }
    dialogs->pushPrinter(platform::pdfPrinter(file("out.pdf")));
    form->FilePrintCmd->trigger();
    ASSERT_TRUE(QFileInfo::exists(file("out.pdf"))) << dialogs->messages().join("\n").toStdString();
    EXPECT_GT(pdfInfo(file("out.pdf"), "Pages").toInt(), 1);
    EXPECT_EQ(pdfInfo(file("out.pdf"), "Title"), form->EditorFileName);
    QByteArray text;
    testsupport::runTool("pdftotext", {file("out.pdf"), "-"}, &text);
    EXPECT_TRUE(QString::fromUtf8(text).contains(QString::fromUtf8("строка 199")));

    // An empty note prints one page.
    openNode("empty");
    dialogs->pushPrinter(platform::pdfPrinter(file("empty.pdf")));
    form->FilePrint();
    EXPECT_EQ(pdfInfo(file("empty.pdf"), "Pages"), "1");
    // Cancelled: nothing printed, nothing said.
    form->FilePrint();
    EXPECT_TRUE(dialogs->messages().isEmpty());
    // A PDF that cannot be created is reported.
    dialogs->pushPrinter(platform::pdfPrinter(file("missing/out.pdf")));
    form->FilePrint();
    ASSERT_EQ(dialogs->messages().size(), 1);
    EXPECT_TRUE(dialogs->messages()[0].contains(file("missing/out.pdf")));
}
