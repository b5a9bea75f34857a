// Edits the user declined ("No" to "Save changes to %s?") on a real desktop: whatever command
// asked, the note's file stays as it was and no later click writes the declined text anywhere.
#include "../NodeFixture.h"
#include "X11Input.h"

#include "app/FolderTree.h"
#include "app/UnitZip.h"
#include "archive/ZipWriter.h"

#include <QApplication>
#include <QDirIterator>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QToolBar>

namespace {
QString n(int v) { return QString::number(v); }
QString at(QPoint g) { return n(g.x()) + ' ' + n(g.y()); }

bool clickOn(QWidget* w, QPoint local) { return clickAt(w->mapToGlobal(local)); }
bool key(const QString& k) { return xdotoolWhileRunning({"key", "--clearmodifiers", k, "sleep", "0.15"}); }

const QByteArray kDeclined = "DECLINED";
QByteArray saved(const QString& node) { return "{\\rtf1 " + node.toUtf8() + " as saved}"; }
} // namespace

class DeclinedEditsTest : public NodeTest {
protected:
    QTreeWidgetItem* item(const QString& text) const
    {
        for (QTreeWidgetItem* i : treefile::allNodes(tree()))
            if (i->text(0) == text)
                return i;
        return nullptr;
    }
    void activateMain()
    {
        FormSlova->raise();
        FormSlova->activateWindow();
        (void)waitFor([] { return FormSlova->isActiveWindow(); }, 5000);
    }
    // A real click on the node; a note node then shows in the editor.
    void clickNode(const QString& text)
    {
        activateMain();
        tree()->expandAll();
        QTreeWidgetItem* i = item(text);
        ASSERT_TRUE(i) << text.toStdString();
        tree()->scrollToItem(i);
        // On the node's text, inside the tree's narrow pane. A click the window did not get (the
        // window manager still placing it on a busy machine) is made again.
        for (int attempt = 0; attempt < 3 && FormSlova->CurrentNodeText != text; ++attempt) {
            const QRect r = tree()->visualItemRect(i);
            const QPoint on(std::min(r.left() + 12, tree()->viewport()->width() - 4), r.center().y());
            ASSERT_TRUE(clickOn(tree()->viewport(), on));
            (void)waitFor([&] { return FormSlova->CurrentNodeText == text; }, 3000);
        }
        ASSERT_EQ(FormSlova->CurrentNodeText, text);
    }
    // The note of that node, opened with a click and typed into with real keys.
    void editNote(const QString& text)
    {
        clickNode(text);
        ASSERT_TRUE(waitFor([] { return FormEdit->isVisible() && FormEdit->Editor->hasFocus(); }));
        ASSERT_TRUE(xdotoolWhileRunning({"type", "--delay", "20", QString::fromLatin1(kDeclined)}));
        ASSERT_TRUE(waitFor([] { return FormEdit->Modified(); }));
        dialogs->clear();
    }
    void clickTool(const char* name)
    {
        activateMain();
        QToolBar* bar = FormSlova->findChild<QToolBar*>();
        QWidget* b = bar->widgetForAction(FormSlova->findChild<QAction*>(QLatin1String(name)));
        ASSERT_TRUE(b) << name;
        ASSERT_TRUE(clickOn(b, b->rect().center()));
    }
    // A real click on the menu's title, then on its item.
    void chooseMenu(QMenuBar* bar, QMenu* menu, const QString& caption)
    {
        QAction* a = nullptr;
        for (QAction* x : menu->actions())
            if (x->text() == caption)
                a = x;
        ASSERT_TRUE(a) << caption.toStdString();
        ASSERT_TRUE(clickOn(bar, bar->actionGeometry(menu->menuAction()).center()));
        ASSERT_TRUE(waitFor([menu] { return menu->isVisible(); }));
        ASSERT_TRUE(clickOn(menu, menu->actionGeometry(a).center()));
    }
    int questions()
    {
        int k = 0;
        for (const QString& m : dialogs->messages())
            k += m.startsWith("Save changes to ");
        return k;
    }
    // What every road must leave: one question, the notes' files as expected, the declined
    // text in no file and no longer in the editor.
    void check(const char* road)
    {
        SCOPED_TRACE(road);
        EXPECT_EQ(questions(), 1) << dialogs->messages().join(" | ").toStdString();
        // A damaged file is put back, so that each road answers for its own damage only.
        for (auto it = notes.cbegin(); it != notes.cend(); ++it) {
            const QByteArray now = read(it.key());
            if (it.value().isNull()) {
                EXPECT_FALSE(QFileInfo::exists(it.key())) << it.key().toStdString() << ": " << now.toStdString();
                QFile::remove(it.key());
            } else if (now != it.value()) {
                ADD_FAILURE() << it.key().toStdString() << ": " << now.toStdString();
                write(it.key(), it.value());
            }
        }
        QDirIterator files(prog.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (files.hasNext()) {
            const QString f = files.next();
            if (read(f).contains(kDeclined)) {
                ADD_FAILURE() << "the declined text in " << f.toStdString();
                QFile::remove(f);
            }
        }
        if (FormEdit) {
            EXPECT_FALSE(FormEdit->Editor->Text().contains(QString::fromLatin1(kDeclined)));
            EXPECT_FALSE(FormEdit->Modified());
            if (FormEdit->Modified()) { // not carried into the next road
                FormEdit->Editor->SetModified(false);
                FormEdit->ShowModifiedMark(false);
            }
        }
    }

    QMap<QString, QByteArray> notes; // file -> bytes it must hold; null: must not exist
    QString other;
};

TEST_F(DeclinedEditsTest, NoToSaveChangesLeavesTheNoteAsItWasOnEveryRoad)
{
    if (!testsupport::haveTool(QStringLiteral("xdotool")))
        GTEST_SKIP() << "xdotool is not installed (scripts/install-deps installs it)";
    const QStringList roads{"Exit", "Rename", "Dir", "Delete", "Open", "Zipped", "Move", "Switch"};
    cat = makeCatalog("Project1", "R\r\n\t" + roads.join("\r\n\t").toUtf8() + "\r\n\tB\r\n");
    write(progFile("dir"), "Project1\\\r\nOther\\\r\n");
    for (const QString& r : roads + QStringList{"B"}) {
        write(cat + r + ".rtf", saved(r));
        notes.insert(cat + r + ".rtf", saved(r));
    }
    other = progFile("Other/");
    QDir().mkpath(other);
    write(other + "Menue", "O\r\n\tO1\r\n");
    write(other + "O1.rtf", saved("O1"));
    notes.insert(other + "O1.rtf", saved("O1"));
    // An archive holding another version of one note, for the restore.
    testsupport::TempDir src;
    const QByteArray archived = "{\\rtf1 Zipped from the archive}";
    write(src.file("Zipped.rtf"), archived);
    {
        archive::TZipWriter w;
        w.SetZipName(progFile("saved.zip"));
        w.FilesList << src.file("Zipped.rtf");
        ASSERT_EQ(w.Zip(), 1);
    }
    startHere();
    FormSlova->resize(700, 600);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(FormSlova, 60000));

    // The editor's Exit (alt+x), then a click on another node.
    editNote("Exit");
    dialogs->pushAnswer(platform::MsgResult::No);
    ASSERT_TRUE(key("alt+x"));
    ASSERT_TRUE(waitFor([] { return !FormEdit->isVisible(); }));
    clickNode("B");
    check("Exit");

    // "Edit node", then Return in the rename box.
    editNote("Rename");
    dialogs->pushAnswer(platform::MsgResult::No);
    clickTool("ToolEditNode");
    ASSERT_TRUE(waitFor([] { return FormSlova->Panel1->isVisible() && FormSlova->wrd->hasFocus(); }));
    ASSERT_TRUE(key("Return"));
    ASSERT_TRUE(waitFor([] { return !FormSlova->Panel1->isVisible(); }));
    clickNode("B");
    check("Rename");

    // "Open dir", then Esc in the chooser.
    editNote("Dir");
    dialogs->pushAnswer(platform::MsgResult::No);
    clickTool("ToolOpenDir");
    ASSERT_TRUE(waitFor([] { return FormDir->isVisible() && FormDir->isActiveWindow(); }));
    ASSERT_TRUE(key("Escape"));
    ASSERT_TRUE(waitFor([] { return !FormDir->isVisible() && !FormSlova->NoCatalog; }));
    clickNode("B");
    check("Dir");

    // "Dell node": asked once; the erased note is not written back, and Draw does not bring it back.
    editNote("Delete");
    dialogs->pushAnswer(platform::MsgResult::Ok);
    dialogs->pushAnswer(platform::MsgResult::No);
    clickTool("ToolDellNode");
    ASSERT_TRUE(waitFor([this] { return !item("Delete"); }));
    notes[cat + "Delete.rtf"] = QByteArray();
    clickNode("B");
    clickTool("ToolDrawTree");
    EXPECT_FALSE(item("Delete"));
    check("Delete");

    // The editor's File -> Open..., then the file dialog cancelled: the note is shown as saved.
    editNote("Open");
    dialogs->pushAnswer(platform::MsgResult::No);
    chooseMenu(FormEdit->MainMenu, FormEdit->findChild<QMenu*>("FileMenu"), "&Open...");
    ASSERT_TRUE(waitFor([this] { return questions() == 1 && dialogs->shown().last().kind == "open"; }));
    EXPECT_EQ(FormEdit->Editor->Text(), "Open as saved");
    clickNode("B");
    check("Open");

    // "Extract from the archive": the restored note is not offered for overwriting later.
    editNote("Zipped");
    dialogs->pushAnswer(platform::MsgResult::No);
    chooseMenu(FormSlova->menuBar(), FormSlova->MenuTree, "Extract from the archive");
    ASSERT_TRUE(waitFor([] { return FormZip->isVisible() && FormZip->ButtonUnZip->isVisible(); }));
    FormZip->Edit1->setText(progFile("saved.zip"));
    ASSERT_TRUE(clickOn(FormZip->ButtonUnZip, FormZip->ButtonUnZip->rect().center()));
    ASSERT_TRUE(waitFor([this] { return dialogs->messages().contains("Extracted 1 files"); }, 30000))
        << dialogs->messages().join(" | ").toStdString();
    notes[cat + "Zipped.rtf"] = archived;
    FormZip->close();
    clickNode("B");
    clickNode("Exit");
    for (const QString& m : dialogs->messages())
        EXPECT_FALSE(m.startsWith("OK to overwrite")) << m.toStdString();
    check("Extract");

    // "Restruct files", then the node dragged into another catalog: no copy stays behind.
    editNote("Move");
    dialogs->pushAnswer(platform::MsgResult::No);
    chooseMenu(FormSlova->menuBar(), FormSlova->MenuTree, "Restruct files");
    ASSERT_TRUE(waitFor([] { return FormMove->isVisible(); }));
    FormMove->move(FormSlova->frameGeometry().right() + 40, 0);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(FormMove));
    FormMove->folders->openAt(other);
    FormMove->FileTree();
    ASSERT_EQ(FormMove->TV->topLevelItemCount(), 1);
    activateMain();
    {
        QWidget* from = tree()->viewport();
        QWidget* to = FormMove->TV->viewport();
        const QPoint start = tree()->visualItemRect(item("Move")).center();
        const QPoint end = FormMove->TV->visualItemRect(FormMove->TV->topLevelItem(0)).center();
        // One xdotool run for the whole gesture: the drag's own event loop runs meanwhile.
        const QString script = QStringLiteral("mousemove %1 mousedown 1 sleep 0.3 mousemove %2 sleep 0.3 mousemove %3 "
                                              "sleep 0.3 mousemove %4 sleep 0.5 mousemove %5 sleep 0.5 mouseup 1")
                                   .arg(at(from->mapToGlobal(start)), at(from->mapToGlobal(start + QPoint(8, 8))),
                                       at(from->mapToGlobal(start + QPoint(30, 4))),
                                       at(to->mapToGlobal(end - QPoint(3, 0))), at(to->mapToGlobal(end)));
        ASSERT_TRUE(xdotoolWhileRunning(script.split(' '), 30000));
    }
    ASSERT_TRUE(waitFor([this] { return QFileInfo::exists(other + "Move.rtf") && !item("Move"); }, 30000));
    notes[cat + "Move.rtf"] = QByteArray();
    notes[other + "Move.rtf"] = saved("Move");
    FormMove->close();
    clickNode("B");
    check("Restruct");

    // "Open dir", then another catalog chosen: its first click writes nothing into the one left.
    editNote("Switch");
    dialogs->pushAnswer(platform::MsgResult::No);
    clickTool("ToolOpenDir");
    ASSERT_TRUE(waitFor([] { return FormDir->isVisible() && FormDir->isActiveWindow(); }));
    FormDir->memo1->setFocus();
    ASSERT_TRUE(key("Down"));
    ASSERT_TRUE(key("Return"));
    ASSERT_TRUE(waitFor([this] { return FormSlova->ProjectPath == other && !FormDir->isVisible(); }));
    clickNode("O1");
    check("Switch");

    // Closing the program.
    editNote("Move");
    dialogs->pushAnswer(platform::MsgResult::No);
    clickTool("ToolExit");
    ASSERT_TRUE(waitFor([] { return !FormSlova->isVisible(); }));
    stop();
    check("Closing");
}
