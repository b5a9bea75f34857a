// Files embedded and linked as package objects: inserting, saving, opening, the verb menu, the
// properties, damaged and foreign objects, drops and the clipboard.
#include "EditorFixture.h"

#include "editor/NoteObjects.h"
#include "platform/richedit/OleObject.h"
#include "platform/richedit/RichFormat.h"
#include "platform/shell/Launcher.h"

#include <QBuffer>
#include <QCheckBox>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QCryptographicHash>
#include <QDir>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QRandomGenerator>
#include <QTimer>
#include <QUrl>

#include <sys/stat.h>

namespace {

template <class Dialog>
void answer(const std::function<void(Dialog*)>& f)
{
    QTimer::singleShot(0, [f] {
        auto* dlg = qobject_cast<Dialog*>(QApplication::activeModalWidget());
        if (!dlg) {
            ADD_FAILURE() << "no dialog";
            return;
        }
        f(dlg);
    });
}

int modeOf(const QString& path)
{
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

QByteArray randomBytes(int n)
{
    QByteArray b(n, '\0');
    QRandomGenerator gen(12345);
    for (char& c : b)
        c = char(gen.bounded(256));
    return b;
}

// An RTF note holding one object of the given class whose objdata is data (as hex).
QByteArray noteWithObject(const QByteArray& objClass, const QByteArray& hex)
{
    return "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}a{\\object\\objemb\\objw600\\objh600{\\*\\objclass " + objClass
        + "}{\\*\\objdata " + hex + "}}b\\par}";
}

class ObjectsTest : public EditorTest {
protected:
    ObjectsTest()
    {
        recorder = new platform::RecordingLauncher;
        old = platform::setLauncher(std::unique_ptr<platform::Launcher>(recorder));
        TCustomNoteEdit::SetObjectTempRoot(dir.file("temp/"));
    }
    ~ObjectsTest() override
    {
        TCustomNoteEdit::RemoveObjectCopies();
        platform::setLauncher(std::move(old));
    }
    QByteArray rtfOf(TCustomNoteEdit* e) const
    {
        QBuffer b;
        b.open(QIODevice::WriteOnly);
        e->Lines()->SaveToStream(b);
        return b.data();
    }
    void selectObject(int pos) { form->Editor->SetSelection(pos, pos + 1); }
    QStringList menuTexts(QMenu* m) const
    {
        QStringList out;
        for (QAction* a : m->actions())
            out << (a->isSeparator() ? QStringLiteral("-") : a->text());
        return out;
    }
    platform::RecordingLauncher* recorder;
    std::unique_ptr<platform::Launcher> old;
};

} // namespace

TEST_F(ObjectsTest, AnEmbeddedFileIsSavedAsAPackageThatOtherToolsRead)
{
    const QString name = QString::fromUtf8("отчёт.pdf");
    const QByteArray bytes = randomBytes(300 * 1024);
    write(file(name), bytes);
    openNode("n");
    type("ab");
    form->Editor->SetSelection(1, 1);
    answer<TInsertObjectDialog>([&](TInsertObjectDialog* dlg) {
        EXPECT_FALSE(dlg->CreateNew->isEnabled());
        EXPECT_TRUE(dlg->CreateFromFile->isChecked());
        EXPECT_TRUE(dlg->DisplayAsIcon->isChecked());
        EXPECT_FALSE(dlg->DisplayAsIcon->isEnabled());
        dlg->FileName->setText(file(name));
        dlg->OkButton->click();
    });
    form->Object1->trigger();
    EXPECT_EQ(form->Editor->Text(), QString("a") + QChar(0xfffc) + "b");
    EXPECT_EQ(form->Editor->SelectedObject(), 1);
    EXPECT_EQ(panel1(), "Modified");
    // It shows its icon with the label: the result picture, a bitmap in a metafile, decodes.
    QTextCursor probe(form->Editor->document());
    probe.setPosition(2);
    const QString picture = probe.charFormat().stringProperty(platform::RichProp::ObjectPictureName);
    ASSERT_FALSE(picture.isEmpty());
    const QImage shown = qvariant_cast<QImage>(form->Editor->document()->resource(QTextDocument::ImageResource, QUrl(picture)));
    EXPECT_EQ(shown.size(), platform::PackageIcon(name).size());
    EXPECT_EQ(shown.pixel(1, 1), qRgb(255, 255, 255));
    ASSERT_TRUE(form->FileSave());
    const QByteArray rtf = read(file("n.rtf"));
    EXPECT_TRUE(rtf.contains("{\\object\\objemb"));
    EXPECT_TRUE(rtf.contains("{\\*\\objclass Package}"));
    QByteArray flat = rtf;
    flat.replace("\r\n", "");
    EXPECT_TRUE(flat.contains("{\\*\\objdata0105000002000000080000005061636b61676500"));

    // An independent reading of the hex.
    const QString script = dir.file("check.py");
    write(script, "import re,sys\n"
                  "rtf=open(sys.argv[1],'rb').read().replace(b'\\r\\n',b'')\n"
                  "hexdata=re.search(rb'\\\\objdata([0-9a-f]+)',rtf).group(1)\n"
                  "data=bytes.fromhex(hexdata.decode())\n"
                  "src=open(sys.argv[2],'rb').read()\n"
                  "ok=src in data and 'отчёт.pdf'.encode('cp1251')+b'\\0' in data and 'отчёт.pdf'.encode('utf-16-le') in data\n"
                  "print('ok' if ok else 'missing')\n");
    QByteArray out;
    ASSERT_EQ(testsupport::runTool("python3", {script, file("n.rtf"), file(name)}, &out), 0);
    EXPECT_EQ(out.trimmed(), "ok");

    // Loaded and saved again: the same bytes.
    openNode("other");
    openNode("n");
    EXPECT_EQ(rtfOf(form->Editor), rtf);
}

TEST_F(ObjectsTest, OpenWritesAPrivateCopyAndHandsItToTheDesktop)
{
    const QString name = QString::fromUtf8("отчёт.pdf");
    const QByteArray bytes = randomBytes(5000);
    write(file(name), bytes);
    openNode("n");
    ASSERT_TRUE(form->Editor->InsertObjectFromFile(file(name), false));
    QMenu* menu = form->Editor->CreateVerbMenu(form);
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menuTexts(menu), (QStringList{"Package Properties", "-", "Open"}));
    ASSERT_NE(menu->defaultAction(), nullptr);
    menu->defaultAction()->trigger();
    ASSERT_EQ(recorder->calls.size(), 1);
    const QString copy = recorder->calls[0].document;
    EXPECT_EQ(QFileInfo(copy).fileName(), name);
    EXPECT_EQ(QCryptographicHash::hash(read(copy), QCryptographicHash::Sha256),
              QCryptographicHash::hash(bytes, QCryptographicHash::Sha256));
    EXPECT_EQ(modeOf(copy), 0600);
    EXPECT_EQ(modeOf(QFileInfo(copy).path()), 0700);
    const QString root = TCustomNoteEdit::ObjectCopiesFolder();
    EXPECT_TRUE(copy.startsWith(root));
    EXPECT_TRUE(root.startsWith(dir.file("temp/")));
    EXPECT_EQ(modeOf(root), 0700);
    form->FormDestroy();
    EXPECT_FALSE(QFileInfo::exists(root));
    delete menu;
}

TEST_F(ObjectsTest, CancelAndDisallowedObjectsChangeNothing)
{
    write(file("f.bin"), "data");
    openNode("n");
    answer<TInsertObjectDialog>([&](TInsertObjectDialog* dlg) {
        dlg->FileName->setText(file("f.bin"));
        dlg->CancelButton->click();
    });
    EXPECT_FALSE(form->Editor->ShowInsertObjectDialog());
    EXPECT_TRUE(form->Editor->Text().isEmpty());
    EXPECT_FALSE(form->Editor->CanUndo());
    EXPECT_FALSE(form->Editor->Modified());

    ASSERT_TRUE(form->Editor->InsertObjectFromFile(file("f.bin"), false));
    form->Editor->SetAllowObjects(false);
    EXPECT_EQ(form->Editor->CreateVerbMenu(form), nullptr);
    EXPECT_FALSE(form->Editor->ShowInsertObjectDialog());
    EXPECT_FALSE(form->Editor->InsertObjectFromFile(file("f.bin"), false));
    EXPECT_FALSE(form->Editor->ShowObjectPropertiesDialog());
    EXPECT_EQ(form->Editor->Text().size(), 1); // the object already there stays

    // Too large to embed.
    QFile big(file("big.bin"));
    ASSERT_TRUE(big.open(QIODevice::WriteOnly));
    ASSERT_TRUE(big.resize(60LL * 1024 * 1024));
    big.close();
    form->Editor->SetAllowObjects(true);
    form->Editor->SetSelection(1, 1);
    EXPECT_FALSE(form->Editor->InsertObjectFromFile(file("big.bin"), false));
    ASSERT_EQ(dialogs->messages().size(), 1);
    EXPECT_TRUE(dialogs->messages()[0].contains(file("big.bin")));
    EXPECT_EQ(form->Editor->Text().size(), 1);
}

TEST_F(ObjectsTest, TheVerbMenuShowsOnlyForOneObject)
{
    write(file("f.bin"), "data");
    openNode("n");
    type("xy");
    form->Editor->SetSelection(1, 1);
    ASSERT_TRUE(form->Editor->InsertObjectFromFile(file("f.bin"), false));
    form->Editor->SetSelection(2, 2);
    ASSERT_TRUE(form->Editor->InsertObjectFromFile(file("f.bin"), false));
    ASSERT_EQ(form->Editor->Text().count(QChar(0xfffc)), 2);
    // A real right click over the selected object.
    selectObject(1);
    QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(5, 5), form->Editor->viewport()->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(form->Editor->viewport(), &click);
    auto* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(popup, nullptr);
    EXPECT_EQ(menuTexts(popup), (QStringList{"Package Properties", "-", "Open"}));
    EXPECT_EQ(popup->defaultAction()->text(), "Open");
    popup->close();
    QApplication::processEvents();

    form->Editor->SetSelection(0, 1); // text
    EXPECT_EQ(form->Editor->CreateVerbMenu(form), nullptr);
    form->Editor->SetSelection(1, 3); // two objects
    EXPECT_EQ(form->Editor->CreateVerbMenu(form), nullptr);

    // A control with a popup menu of its own gets the items appended.
    QMenu own;
    own.addAction("Mine");
    form->Editor->PopupMenu = &own;
    selectObject(2);
    QMenu* menu = form->Editor->CreateVerbMenu(form);
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menuTexts(menu), (QStringList{"Mine", "-", "Package Properties", "Package"}));
    QMenu* verbs = menu->findChild<QMenu*>("VerbMenu");
    ASSERT_NE(verbs, nullptr);
    EXPECT_EQ(menuTexts(verbs), QStringList{"Open"});
    form->Editor->PopupMenu = nullptr;
    delete menu;
}

TEST_F(ObjectsTest, AForeignObjectKeepsItsBytesAndHasNoVerbs)
{
    platform::OleObject ole;
    ole.className = "Word.Document.8";
    ole.native = "native bytes of another program";
    const QByteArray hex = platform::WriteOleObject(ole).toHex();
    const QByteArray note = noteWithObject("Word.Document.8", hex);
    write(file("n.rtf"), note);
    openNode("n");
    selectObject(1);
    QMenu* menu = form->Editor->CreateVerbMenu(form);
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menuTexts(menu), QStringList{"Word.Document.8 Properties"});
    delete menu;
    answer<TObjectPropertiesDialog>([&](TObjectPropertiesDialog* dlg) {
        EXPECT_EQ(dlg->windowTitle(), "Word.Document.8 Properties");
        EXPECT_EQ(dlg->TypeLabel->text(), "Word.Document.8");
        EXPECT_EQ(dlg->SizeLabel->text(), QString("%1 bytes").arg(ole.native.size())); // not its stored record
        EXPECT_EQ(dlg->LocationLabel->text(), QApplication::applicationName());
        EXPECT_EQ(dlg->SourceLabel, nullptr);
        dlg->accept();
    });
    EXPECT_TRUE(form->Editor->ShowObjectPropertiesDialog());
    EXPECT_TRUE(rtfOf(form->Editor).contains("{\\object\\objemb\\objw600\\objh600{\\*\\objclass Word.Document.8}{\\*\\objdata "
                                             + hex + "}}"));
}

TEST_F(ObjectsTest, ALinkedFileOpensItsSourceAndTheLinkPageActs)
{
    const QString name = QString::fromUtf8("данные.txt");
    write(file(name), "linked");
    openNode("n");
    ASSERT_TRUE(form->Editor->InsertObjectFromFile(file(name), true));
    form->Editor->SetModified(false);
    EXPECT_TRUE(rtfOf(form->Editor).contains("{\\object\\objlink"));
    EXPECT_FALSE(rtfOf(form->Editor).contains("linked")); // no bytes stored
    form->Editor->Title();
    form->Editor->SetTitle("Notes");
    answer<TObjectPropertiesDialog>([&](TObjectPropertiesDialog* dlg) {
        EXPECT_EQ(dlg->windowTitle(), "Package Properties");
        EXPECT_EQ(dlg->LocationLabel->text(), "Notes - " + QApplication::applicationName());
        ASSERT_NE(dlg->SourceLabel, nullptr);
        EXPECT_EQ(dlg->SourceLabel->text(), file(name));
        EXPECT_TRUE(dlg->AutomaticUpdate->isChecked());
        // The linked file's own size, not that of the record with its icon; the view it shows.
        EXPECT_EQ(dlg->SizeLabel->text(), "6 bytes");
        EXPECT_EQ(dlg->Pages->tabText(1), "View");
        EXPECT_TRUE(dlg->IconView->isChecked());
        dlg->OpenSourceButton->click();
        dialogs->pushFileName(QString()); // Change Source... cancelled: nothing happens
        dlg->ChangeSourceButton->click();
        EXPECT_TRUE(dialogs->messages().isEmpty());
        dialogs->pushFileName(dir.path()); // a folder
        dlg->ChangeSourceButton->click();
        dlg->BreakLinkButton->click();
        dlg->ManualUpdate->click();
        QFile::remove(file(name));
        dlg->UpdateNowButton->click();
        EXPECT_EQ(dlg->SourceLabel->text(), file(name));
        EXPECT_TRUE(dlg->ManualUpdate->isChecked());
        dlg->accept();
    });
    EXPECT_TRUE(form->Editor->ShowObjectPropertiesDialog());
    ASSERT_EQ(recorder->calls.size(), 1);
    EXPECT_EQ(recorder->calls[0].document, file(name));
    const QStringList m = dialogs->messages();
    ASSERT_EQ(m.size(), 3);
    EXPECT_EQ(m[0], "Cannot link to an invalid source.");
    EXPECT_EQ(dialogs->shown()[2].caption, "Link Properties");
    EXPECT_EQ(m[1], "Break link operation is not supported.");
    EXPECT_TRUE(m[2].contains(file(name)));
    EXPECT_EQ(panel1(), "Modified");
    platform::PackageObject pkg;
    ASSERT_TRUE(platform::ReadPackageObject(form->Editor->ObjectGroupAt(0), pkg));
    EXPECT_TRUE(pkg.linked);
    EXPECT_EQ(pkg.updateOption, 3u);
    EXPECT_EQ(pkg.linkSource, file(name));
}

TEST_F(ObjectsTest, DamagedAndHostilePackagesAreRefusedWithoutHarm)
{
    auto packageHex = [](const platform::PackageNative& p) {
        platform::OleObject ole;
        ole.className = "Package";
        ole.native = platform::WritePackage(p);
        return platform::WriteOleObject(ole).toHex();
    };
    platform::PackageNative good;
    good.label = "x.txt";
    good.data = "abc";
    QByteArray noNul = platform::WritePackage(good);
    noNul.truncate(2 + 5); // the label without its NUL
    platform::OleObject cut;
    cut.className = "Package";
    cut.native = noNul;
    QByteArray huge;
    huge += QByteArray::fromHex("0105000002000000") + QByteArray::fromHex("08000000") + "Package" + '\0';
    huge += QByteArray(8, '\0') + QByteArray::fromHex("ffffffff") + "short";
    const QByteArray badClass = QByteArray::fromHex("0105000002000000ffffff00") + "Pack";
    const QList<QByteArray> damaged = {packageHex(good).left(31), platform::WriteOleObject(cut).toHex(), huge.toHex(),
                                       badClass.toHex()};
    for (const QByteArray& hex : damaged) {
        write(file("d.rtf"), noteWithObject("Package", hex));
        dialogs->clear();
        openNode("x");
        openNode("d");
        ASSERT_EQ(form->Editor->Text().size(), 3);
        selectObject(1);
        EXPECT_FALSE(form->Editor->DoVerb(0));
        EXPECT_EQ(dialogs->messages().size(), 1) << hex.left(40).toStdString();
        EXPECT_TRUE(recorder->calls.isEmpty());
        // The properties say so too, and show what is known.
        answer<TObjectPropertiesDialog>([&](TObjectPropertiesDialog* dlg) { dlg->accept(); });
        EXPECT_TRUE(form->Editor->ShowObjectPropertiesDialog());
        EXPECT_EQ(dialogs->messages().size(), 2) << hex.left(40).toStdString();
    }

    // A label naming a path outside: only its base name, inside the private folder.
    platform::PackageNative evil;
    evil.label = "../../../etc/passwd";
    evil.data = "not yours";
    write(file("e.rtf"), noteWithObject("Package", packageHex(evil)));
    openNode("e");
    selectObject(1);
    ASSERT_TRUE(form->Editor->DoVerb(0));
    const QString copy = recorder->calls.last().document;
    EXPECT_EQ(QFileInfo(copy).fileName(), "passwd");
    EXPECT_TRUE(copy.startsWith(TCustomNoteEdit::ObjectCopiesFolder()));
    EXPECT_EQ(read(copy), QByteArray("not yours"));
    evil.label = "C:\\x\\run.desktop";
    write(file("e.rtf"), noteWithObject("Package", packageHex(evil)));
    openNode("x");
    openNode("e");
    selectObject(1);
    dialogs->clear();
    EXPECT_FALSE(form->Editor->DoVerb(0));
    EXPECT_EQ(dialogs->messages().size(), 1);
    EXPECT_EQ(recorder->calls.size(), 1);
}

TEST_F(ObjectsTest, FilesDroppedOnTheTextBecomePackagesElsewhereTheyOpen)
{
    write(file("f.bin"), "dropped");
    openNode("n");
    type("ab");
    form->show();
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(file("f.bin"))});
    QWidget* vp = form->Editor->viewport();
    const QPoint at(2, 2);
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(vp, &enter);
    QDragMoveEvent move(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(vp, &move);
    QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(vp, &drop);
    EXPECT_EQ(form->Editor->Text().count(QChar(0xfffc)), 1);
    EXPECT_TRUE(dialogs->messages().isEmpty());
    QTest::keyClick(form->Editor, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(form->Editor->Text(), "ab");

    // The same file on the ruler goes to the window: not a note, so refused.
    QDragEnterEvent enter2(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(form->Ruler, &enter2);
    QDropEvent drop2(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(form->Ruler, &drop2);
    EXPECT_EQ(dialogs->messages().size(), 1);
    EXPECT_EQ(form->Editor->Text(), "ab");
}

TEST_F(ObjectsTest, AnObjectCopiedToAnotherControlKeepsItsBytes)
{
    write(file("f.bin"), randomBytes(2000));
    openNode("n");
    ASSERT_TRUE(form->Editor->InsertObjectFromFile(file("f.bin"), false));
    const QByteArray group = form->Editor->ObjectGroupAt(0);
    form->Editor->CopyToClipboard();
    TNoteEdit other;
    other.PasteFromClipboard();
    ASSERT_EQ(other.Text().size(), 1);
    EXPECT_EQ(other.ObjectGroupAt(0), group);
}

TEST(OleObject, PackageNamesAreReadAsStoredInUtf16)
{
    // A leading U+FEFF or U+FFFE is part of the name, not a byte order mark.
    platform::PackageNative p;
    p.label = QString(QChar(0xFEFF)) + "a.txt";
    p.source = QString(QChar(0xFFFE)) + QString::fromUtf8("Ж.txt");
    p.tempPath = "/tmp/t";
    platform::PackageNative back;
    ASSERT_TRUE(platform::ParsePackage(platform::WritePackage(p), back));
    EXPECT_EQ(back.label, p.label);
    EXPECT_EQ(back.source, p.source);
    // The fuzzer's input: the label's UTF-16 copy is U+FFFE twice.
    ASSERT_TRUE(platform::ParsePackage(testsupport::readFile(MV_SOURCE_DIR "/tests/fuzz-seeds/ole_object_fuzz/package_name_fffe.bin"), back));
    EXPECT_EQ(back.label, QString(2, QChar(0xFFFE)));
}

TEST(OleObject, PackagesRoundTripAndDamageIsReported)
{
    platform::PackageNative p;
    p.label = QString::fromUtf8("名前.txt"); // not in Windows-1251: the Unicode copy brings it back
    p.source = "/home/u/" + p.label;
    p.tempPath = p.source;
    p.data = QByteArray("\0\1\2", 3);
    const QByteArray native = platform::WritePackage(p);
    platform::PackageNative back;
    ASSERT_TRUE(platform::ParsePackage(native, back));
    EXPECT_EQ(back.label, p.label);
    EXPECT_EQ(back.source, p.source);
    EXPECT_EQ(back.data, p.data);
    for (int cut = 0; cut < 40; ++cut) {
        QString error;
        platform::PackageNative part;
        const bool ok = platform::ParsePackage(QByteArrayView(native).first(cut), part, &error);
        EXPECT_TRUE(!ok && !error.isEmpty()) << cut;
    }
    platform::OleObject ole;
    QString error;
    EXPECT_FALSE(platform::ParseOleObject(QByteArray::fromHex("01050000020000000800"), ole, &error));
    EXPECT_FALSE(error.isEmpty());
    platform::RtfObjectInfo info;
    EXPECT_FALSE(platform::ParseObjectGroup("{\\object{\\*\\objdata 0a1}}", info, &error));
}
