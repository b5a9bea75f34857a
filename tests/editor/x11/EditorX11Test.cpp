// The editor as a user meets it on a real desktop: input comes through the X server (xdotool).
#include "app/UnitSlova.h"
#include "editor/REMain.h"
#include "editor/ValueSpin.h"
#include "platform/dialogs/Dialogs.h"
#include "platform/richedit/OleObject.h"
#include "platform/shell/Launcher.h"
#include "platform/ui/QtDialogs.h"
#include "support/TestSupport.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QBuffer>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFontDialog>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <gtest/gtest.h>

namespace {

// Runs xdotool while the event loop goes on, so this process sees the input it makes.
void xdo(const QStringList& args)
{
    QProcess p;
    p.start(QStringLiteral("xdotool"), args);
    ASSERT_TRUE(p.waitForStarted(5000));
    QElapsedTimer t;
    t.start();
    while (!p.waitForFinished(10) && t.elapsed() < 60000)
        QApplication::processEvents();
    QApplication::processEvents();
}

void moveTo(QWidget* w, QPoint local)
{
    const QPoint g = w->mapToGlobal(local);
    xdo({"mousemove", "--sync", QString::number(g.x()), QString::number(g.y())});
}

void clickOn(QWidget* w, QPoint local)
{
    moveTo(w, local);
    xdo({"click", "1"});
}

void clickOn(QWidget* w) { clickOn(w, w->rect().center()); }

// The desktop's own dialogs instead of the scripted ones, for one test.
class DesktopDialogs {
public:
    DesktopDialogs() : old_(platform::setDialogs(std::make_unique<platform::QtDialogs>())) {}
    ~DesktopDialogs() { platform::setDialogs(std::move(old_)); }

private:
    std::unique_ptr<platform::Dialogs> old_;
};

// Runs f on the font dialog once it is up (it runs a modal loop of its own); a step that failed
// leaves the dialog open, so it is closed then.
void whenFontDialogShows(const std::function<void(QFontDialog*)>& f)
{
    QTimer::singleShot(0, [f] {
        auto* dlg = qobject_cast<QFontDialog*>(QApplication::activeModalWidget());
        if (!dlg || !QTest::qWaitForWindowActive(dlg)) {
            ADD_FAILURE() << "no font dialog";
            if (dlg)
                dlg->reject();
            return;
        }
        f(dlg);
        if (::testing::Test::HasFailure())
            dlg->reject();
    });
}

void clickOk(QDialog* dlg)
{
    QPushButton* ok = dlg->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
    clickOn(ok);
}

// A main window stand-in: a tree beside the panel that holds the editor.
class EditorX11 : public ::testing::Test {
protected:
    EditorX11()
    {
        if (!FormSlova)
            FormSlova = new TFormSlova();
        FormSlova->ProjectPath = dir.path();
        FormSlova->CurrentNodeText = QStringLiteral("n");
        top.resize(900, 600);
        auto* h = new QHBoxLayout(&top);
        tree = new QTreeWidget(&top);
        h->addWidget(tree);
        panel = new QWidget(&top);
        auto* v = new QVBoxLayout(panel);
        v->setContentsMargins(0, 0, 0, 0);
        h->addWidget(panel, 3);
        form = new TFormEdit();
        FormEdit = form;
        form->setParent(panel);
        v->addWidget(form);
        top.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&top));
        form->EditFileFromTree();
        top.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&top));
    }
    ~EditorX11() override
    {
        delete form;
        FormEdit = nullptr;
    }
    testsupport::TempDir dir;
    platform::ScopedScriptedDialogs dialogs;
    QWidget top;
    QTreeWidget* tree;
    QWidget* panel;
    TFormEdit* form;
};

} // namespace

TEST_F(EditorX11, ShortcutsActOnlyWhileTheFocusIsInTheEditor)
{
    form->Editor->setFocus();
    MV_WAIT_FOR(form->Editor->hasFocus(), 5000);
    xdo({"type", "--delay", "20", "abc"});
    MV_WAIT_FOR((form->Editor->Text()) == (QStringLiteral("abc")), 5000);
    EXPECT_EQ(form->StatusPanel1->text(), "Modified");
    tree->setFocus();
    MV_WAIT_FOR(tree->hasFocus(), 5000);
    xdo({"key", "ctrl+s"});
    QTest::qWait(200);
    EXPECT_FALSE(QFileInfo::exists(dir.file("n.rtf")));
    form->Editor->setFocus();
    MV_WAIT_FOR(form->Editor->hasFocus(), 5000);
    xdo({"key", "ctrl+s"});
    MV_WAIT_FOR(QFileInfo::exists(dir.file("n.rtf")), 5000);
    EXPECT_EQ(form->StatusPanel1->text(), "");
}

TEST_F(EditorX11, ARulerMarkerDraggedWithTheMouseSetsTheIndent)
{
    form->Editor->setFocus();
    xdo({"type", "text"});
    MV_WAIT_FOR((form->Editor->Text()) == (QStringLiteral("text")), 5000);
    const int start = form->LeftInd->x();
    moveTo(form->LeftInd, QPoint(form->LeftInd->width() / 2, 10));
    xdo({"mousedown", "1"});
    moveTo(form->Ruler, QPoint(start + form->LeftInd->width() / 2 + 40, 25));
    xdo({"mouseup", "1"});
    MV_WAIT_FOR((form->Editor->ParagraphFormat()->LeftIndent()) == (int((start + 40 + form->RulerDragOffset - 6) * 0.75)), 5000);
}

TEST_F(EditorX11, AHeldSpinButtonRepeatsUntilReleased)
{
    QWidget w;
    auto* e = new TValueSpinEdit(&w);
    e->setGeometry(10, 10, 120, 30);
    w.resize(200, 60);
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    TValueSpinButton* b = e->SpinButton();
    ASSERT_NE(b, nullptr);
    moveTo(b, QPoint(3, 3)); // the upper half
    xdo({"mousedown", "1"});
    MV_WAIT_FOR(e->Value() >= 4, 30000);
    xdo({"mouseup", "1"});
    // The release may still be on its way from the X server: a repeat before it is not a fault.
    MV_WAIT_FOR((b->Down()) == (sbNotDown), 30000);
    const double held = e->Value();
    QTest::qWait(400);
    EXPECT_EQ(e->Value(), held);
    EXPECT_EQ(b->Down(), sbNotDown);
}

TEST_F(EditorX11, AnAddressClickReachesTheDesktopOpenerAsOneArgument)
{
    // A stand-in xdg-open first on PATH writes its arguments to a file, renamed into place once
    // complete so that the test never reads it half written.
    const QString bin = dir.file("bin/");
    QDir().mkpath(bin);
    testsupport::writeFile(bin + "xdg-open", "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$0.part\" && mv \"$0.part\" \"$0.args\"\n");
    QFile::setPermissions(bin + "xdg-open", QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    const QByteArray oldPath = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(bin) + ":" + oldPath);
    std::unique_ptr<platform::Launcher> old = platform::setLauncher(std::make_unique<platform::DesktopLauncher>());

    form->Editor->setFocus();
    xdo({"type", "go www.example.org now"});
    MV_WAIT_FOR((form->Editor->Text()) == (QStringLiteral("go www.example.org now")), 5000);
    QTextCursor c(form->Editor->document());
    c.setPosition(8);
    moveTo(form->Editor->viewport(), form->Editor->cursorRect(c).center());
    xdo({"click", "1"});
    MV_WAIT_FOR(QFileInfo::exists(bin + "xdg-open.args"), 60000);
    EXPECT_EQ(testsupport::readFile(bin + "xdg-open.args"), QByteArray("http://www.example.org\n"));

    platform::setLauncher(std::move(old));
    qputenv("PATH", oldPath);
}

TEST_F(EditorX11, AnOpenedPackageReachesTheDesktopOpenerAsAPrivateCopy)
{
    const QString bin = dir.file("bin/");
    QDir().mkpath(bin);
    testsupport::writeFile(bin + "xdg-open", "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$0.part\" && mv \"$0.part\" \"$0.args\"\n");
    QFile::setPermissions(bin + "xdg-open", QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    const QByteArray oldPath = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(bin) + ":" + oldPath);
    std::unique_ptr<platform::Launcher> old = platform::setLauncher(std::make_unique<platform::DesktopLauncher>());
    TCustomNoteEdit::SetObjectTempRoot(dir.file("temp/"));

    testsupport::writeFile(dir.file("a b.txt"), "packaged");
    ASSERT_TRUE(form->Editor->InsertObjectFromFile(dir.file("a b.txt"), false));
    ASSERT_TRUE(form->Editor->DoVerb(0));
    MV_WAIT_FOR(QFileInfo::exists(bin + "xdg-open.args"), 60000);
    const QByteArray args = testsupport::readFile(bin + "xdg-open.args");
    EXPECT_TRUE(args.endsWith("/a b.txt\n")) << args.constData();
    EXPECT_EQ(args.count('\n'), 1);
    EXPECT_EQ(testsupport::readFile(QString::fromUtf8(args.trimmed())), QByteArray("packaged"));
    TCustomNoteEdit::RemoveObjectCopies();
    platform::setLauncher(std::move(old));
    qputenv("PATH", oldPath);
}

TEST_F(EditorX11, ObjectsAndPicturesAnswerClicksDoubleClicksAndRightClicks)
{
    auto* recorder = new platform::RecordingLauncher;
    struct Restore {
        std::unique_ptr<platform::Launcher> old;
        ~Restore()
        {
            TCustomNoteEdit::RemoveObjectCopies();
            platform::setLauncher(std::move(old));
        }
    } restore{platform::setLauncher(std::unique_ptr<platform::Launcher>(recorder))};
    TCustomNoteEdit::SetObjectTempRoot(dir.file("temp/"));
    platform::PackageNative p;
    p.label = QStringLiteral("f.txt");
    p.source = p.tempPath = dir.file("f.txt");
    p.data = "packaged";
    QImage red(16, 16, QImage::Format_RGB32);
    red.fill(Qt::red);
    QBuffer png;
    png.open(QIODevice::WriteOnly);
    red.save(&png, "PNG");
    testsupport::writeFile(dir.file("n.rtf"), "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}ab " + platform::MakePackageGroup(p, false)
                                                  + " cd {\\pict\\pngblip\\picw16\\pich16\\picwgoal480\\pichgoal480 "
                                                  + png.data().toHex() + "} ef\\par}");
    form->EditFileFromTree();
    TNoteEdit* e = form->Editor;
    const int object = int(e->Text().indexOf(QChar(0xfffc)));
    const int picture = int(e->Text().lastIndexOf(QChar(0xfffc)));
    ASSERT_LT(object, picture);
    auto centre = [e](int pos) {
        QTextCursor a(e->document()), b(e->document());
        a.setPosition(pos);
        b.setPosition(pos + 1);
        return QPoint((e->cursorRect(a).left() + e->cursorRect(b).left()) / 2, e->cursorRect(a).center().y());
    };
    auto popupTexts = [] {
        QStringList out;
        if (auto* m = qobject_cast<QMenu*>(QApplication::activePopupWidget()))
            for (QAction* a : m->actions())
                if (!a->isSeparator())
                    out << a->text();
        return out;
    };
    e->SetSelection(0, 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form->CutButton->isEnabled(); }));

    moveTo(e->viewport(), centre(object));
    xdo({"click", "1"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->CutButton->isEnabled(); }));
    EXPECT_EQ(e->SelectedObject(), object);
    EXPECT_TRUE(recorder->calls.isEmpty());

    xdo({"click", "--repeat", "2", "--delay", "80", "1"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return !recorder->calls.isEmpty(); }));
    EXPECT_EQ(recorder->calls.size(), 1);
    EXPECT_EQ(QFileInfo(recorder->calls[0].document).fileName(), "f.txt");
    EXPECT_EQ(e->SelectedObject(), object);

    e->SetSelection(0, 0);
    xdo({"click", "3"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return !popupTexts().isEmpty(); }));
    EXPECT_EQ(popupTexts(), (QStringList{"Package Properties", "Open"}));
    EXPECT_EQ(e->SelectedObject(), object);
    QApplication::activePopupWidget()->close();

    // A picture has no verb here: its menu holds only its properties.
    moveTo(e->viewport(), centre(picture));
    xdo({"click", "3"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return !popupTexts().isEmpty(); }));
    EXPECT_EQ(popupTexts(), QStringList{"Picture (Device Independent Bitmap) Properties"});
    EXPECT_EQ(e->SelectedPicture(), picture);
    QApplication::activePopupWidget()->close();
    EXPECT_EQ(recorder->calls.size(), 1);
}

TEST_F(EditorX11, FontDialogOkWithoutAChangeKeepsTheNoteByteForByte)
{
    // The editor's default family is not installed here (fc-list shows no Arial): the dialog
    // shows the desktop's substitute for it. A selection of several fonts, sizes and styles.
    testsupport::writeFile(dir.file("n.rtf"),
                           "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0\\fnil\\fcharset204 Arial;}{\\f1\\fmodern Courier New;}}"
                           "\\f0\\fs24 one \\f1\\fs19\\b two\\b0\\i  three\\par}");
    form->EditFileFromTree();
    ASSERT_EQ(form->Editor->Text(), "one two three");
    ASSERT_TRUE(form->FileSave());
    const QByteArray before = testsupport::readFile(dir.file("n.rtf"));
    ASSERT_TRUE(before.contains("Arial;")) << before.constData();

    DesktopDialogs desktop;
    form->Editor->SelectAll();
    whenFontDialogShows([](QFontDialog* dlg) { clickOk(dlg); });
    form->EditFontCmd->trigger();
    ASSERT_TRUE(form->FileSave());
    EXPECT_EQ(testsupport::readFile(dir.file("n.rtf")).toStdString(), before.toStdString());
}

TEST_F(EditorX11, TheFontDialogsColourGoesOnTheSelectionAndIntoTheFile)
{
    form->Editor->setFocus();
    xdo({"type", "plain red"});
    MV_WAIT_FOR((form->Editor->Text()) == (QStringLiteral("plain red")), 5000);
    form->Editor->SetSelection(6, 9);

    DesktopDialogs desktop;
    whenFontDialogShows([](QFontDialog* dlg) {
        auto* colors = dlg->findChild<QComboBox*>("ColorList");
        if (!colors) {
            ADD_FAILURE() << "no colour list";
            return;
        }
        EXPECT_EQ(colors->currentText().toStdString(), "Automatic");
        clickOn(colors);
        QAbstractItemView* list = colors->view();
        if (!QTest::qWaitFor([list] { return list->isVisible(); })) {
            ADD_FAILURE() << "the colour list did not open";
            return;
        }
        const QModelIndex red = list->model()->index(colors->findText("Red"), 0);
        list->scrollTo(red);
        clickOn(list->viewport(), list->visualRect(red).center());
        if (!QTest::qWaitFor([colors] { return colors->currentText() == "Red"; })) {
            ADD_FAILURE() << "red was not picked";
            return;
        }
        clickOk(dlg);
    });
    form->EditFontCmd->trigger();
    EXPECT_EQ(form->Editor->SelectionFormat()->Color(), clRed);
    ASSERT_TRUE(form->FileSave());
    const QByteArray rtf = testsupport::readFile(dir.file("n.rtf"));
    EXPECT_TRUE(rtf.contains("{\\colortbl ;\\red255\\green0\\blue0;}")) << rtf.constData();
    EXPECT_TRUE(rtf.contains("plain \\cf1 red")) << rtf.constData();

    form->EditFileFromTree();
    form->Editor->SetSelection(6, 9);
    EXPECT_EQ(form->Editor->SelectionFormat()->Color(), clRed);
    form->Editor->SetSelection(0, 5);
    EXPECT_EQ(form->Editor->SelectionFormat()->Color(), clWindowText);
}

TEST_F(EditorX11, TheFontDialogShowsBoldAndItalicOfAFontThatIsNotInstalled)
{
    // No Tahoma here: the dialog shows another family, yet the text's own bold and italic.
    ASSERT_FALSE(QFontDatabase::hasFamily("Tahoma"));
    testsupport::writeFile(dir.file("n.rtf"), "{\\rtf1\\ansi{\\fonttbl{\\f0 Tahoma;}}\\f0\\fs22 {\\b bold} "
                                              "{\\b\\i both} plain\\par}");
    form->EditFileFromTree();
    ASSERT_EQ(form->Editor->Text(), "bold both plain");
    DesktopDialogs desktop;
    for (const int from : {0, 5}) {
        SCOPED_TRACE(from);
        form->Editor->SetSelection(from, from + 4);
        const bool italic = from == 5;
        whenFontDialogShows([italic](QFontDialog* dlg) {
            const QFont shown = dlg->currentFont();
            EXPECT_TRUE(shown.bold()) << shown.styleName().toStdString();
            EXPECT_EQ(shown.italic(), italic);
            QLineEdit* sample = nullptr;
            for (QLineEdit* e : dlg->findChildren<QLineEdit*>())
                if (e->text() == "AaBbYyZz")
                    sample = e;
            ASSERT_TRUE(sample);
            EXPECT_TRUE(sample->font().bold());
            EXPECT_EQ(sample->font().italic(), italic);
            // The family's upright regular style ("Normal", "Regular", "Book"...), picked with the mouse.
            QString regular;
            for (const QString& style : QFontDatabase::styles(shown.family())) {
                const QFont face = QFontDatabase::font(shown.family(), style, 12);
                if (!face.bold() && !face.italic() && face.weight() == QFont::Normal
                    && (regular.isEmpty() || style.size() < regular.size()))
                    regular = style;
            }
            for (QListView* list : dlg->findChildren<QListView*>()) {
                QAbstractItemModel* m = list->model();
                for (int r = 0; r < m->rowCount(); ++r) {
                    if (m->index(r, 0).data().toString() != regular)
                        continue;
                    list->scrollTo(m->index(r, 0));
                    clickOn(list->viewport(), list->visualRect(m->index(r, 0)).center());
                    EXPECT_TRUE(QTest::qWaitFor([dlg] { return !dlg->currentFont().bold() && !dlg->currentFont().italic(); }))
                        << regular.toStdString();
                    clickOk(dlg);
                    return;
                }
            }
            ADD_FAILURE() << "no regular style in " << shown.family().toStdString();
        });
        form->EditFontCmd->trigger();
        EXPECT_EQ(form->Editor->SelectionFormat()->Style() & (fsBold | fsItalic), 0);
    }
    ASSERT_TRUE(form->FileSave());
    const QByteArray rtf = testsupport::readFile(dir.file("n.rtf"));
    EXPECT_FALSE(rtf.contains("\\b") || rtf.contains("\\i")) << rtf.constData();
    EXPECT_TRUE(rtf.contains("Tahoma")) << rtf.constData();
}

TEST_F(EditorX11, SaveAsOverAnotherFileAsksOnce)
{
    testsupport::writeFile(dir.file("other.rtf"), "{\\rtf1 old}");
    form->Editor->setFocus();
    xdo({"type", "new"});
    MV_WAIT_FOR((form->Editor->Text()) == (QStringLiteral("new")), 5000);

    DesktopDialogs desktop;
    QStringList asked;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* files = qobject_cast<QFileDialog*>(modal); files && files->isVisible()) {
            auto* name = files->findChild<QLineEdit*>("fileNameEdit");
            if (!name) {
                ADD_FAILURE() << "no file name box";
                files->reject();
                return;
            }
            files->setDirectory(dir.path());
            name->setText("other.rtf");
            QMetaObject::invokeMethod(files, "accept", Qt::QueuedConnection);
        } else if (auto* box = qobject_cast<QMessageBox*>(modal);
                   box && box->isVisible() && !asked.contains(box->text())) {
            asked.append(box->text());
            const QList<QAbstractButton*> buttons = box->buttons();
            for (QAbstractButton* b : buttons)
                if (box->buttonRole(b) == QMessageBox::YesRole || box->buttonRole(b) == QMessageBox::AcceptRole)
                    QMetaObject::invokeMethod(b, "click", Qt::QueuedConnection);
        }
    });
    answer.start(50);
    EXPECT_TRUE(form->FileSaveAs());
    answer.stop();
    EXPECT_EQ(asked.join('\n').toStdString(), ("OK to overwrite " + dir.file("other.rtf")).toStdString());
    EXPECT_TRUE(testsupport::readFile(dir.file("other.rtf")).contains("new"));
}
