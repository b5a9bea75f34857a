// The node manager: the target catalog's tree and moving a dropped node with its subtree and files.
#include "AppFixture.h"
#include "NodeFixture.h"

#include "app/FolderTree.h"
#include "app/NodeMove.h"
#include "app/NodeTreeView.h"
#include "app/TreeFile.h"
#include "app/UnitDir.h"
#include "app/UnitMove.h"
#include "editor/REMain.h"
#include "platform/text/CodePage.h"
#include "web/UnitHtmlKategory.h"

#include <QCoreApplication>
#include <QDropEvent>
#include <QFileSystemModel>
#include <QListWidget>
#include <QMimeData>
#include <QTreeView>
#include <QTreeWidget>

#include <csignal>
#include <sys/stat.h>

namespace {
QByteArray cp(const char* s) { return platform::toCp1251(QString::fromUtf8(s)); }
QString u(const char* s) { return QString::fromUtf8(s); }

const QDateTime kOld = QDateTime::fromSecsSinceEpoch(1300000000);

void writeOld(const QString& path, const QByteArray& data)
{
    testsupport::writeFile(path, data);
    QFile f(path);
    f.open(QIODevice::ReadWrite);
    f.setFileTime(kOld, QFileDevice::FileModificationTime);
}

qint64 mtime(const QString& p) { return QFileInfo(p).lastModified().toSecsSinceEpoch(); }

// Drops the main tree's node with this index onto TV at pos with the events of a real drag:
// Qt delivers a drop only to the widget that accepted the drag's entry.
void drop(int index, const QPoint& pos)
{
    QMimeData data;
    data.setData(TNodeTreeView::NodeMimeType, QByteArray::number(index));
    QWidget* v = FormMove->TV->viewport();
    QDragEnterEvent enter(pos, Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(v, &enter);
    ASSERT_TRUE(enter.isAccepted());
    QDragMoveEvent move(pos, Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(v, &move);
    QDropEvent e(QPointF(pos), Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(v, &e);
}

QPoint onItem(QTreeWidgetItem* item) { return FormMove->TV->visualItemRect(item).center(); }

class RefusingEditor : public TFormEdit {
public:
    bool CloseQuery() override { return false; }
};
} // namespace

class NodeManagerTest : public AppTest {
protected:
    void SetUp() override { setUpCatalogs(progFile("B/")); }

    void setUpCatalogs(const QString& target)
    {
        a = makeCatalog("A", cp("Корень\r\n\tЗаметка\r\n\t\tДеталь\r\n\tБез файла\r\n"));
        write(a + "Menue_ind", "0\r\n4\r\n6\r\n1\r\n");
        writeOld(a + u("Заметка.rtf"), "{\\rtf1 note}");
        writeOld(a + u("Заметка.html"), "<html>page</html>");
        writeOld(a + u("Деталь.txt"), "detail");
        b = target;
        // The target is a catalog of the catalog list: a move is settled only into such a one.
        write(progFile("dir"), "Project1\\\r\nHelp\\\r\n" + platform::toCp1251(b) + "\r\n");
        QDir().mkpath(b);
        write(b + "Menue", "B-root\r\n");
        write(b + "Menue_ind", "3\r\n");
        start();
        FormSlova->RestructFiles();
        pick(b);
    }
    void pick(const QString& folder)
    {
        FormMove->folders->openAt(folder);
        FormMove->FileTree();
    }
    void expectMoved()
    {
        for (const char* name : {"Заметка.rtf", "Заметка.html", "Деталь.txt"}) {
            EXPECT_TRUE(QFileInfo::exists(b + u(name))) << name;
            EXPECT_FALSE(QFileInfo::exists(a + u(name))) << name;
            EXPECT_EQ(mtime(b + u(name)), kOld.toSecsSinceEpoch()) << name;
        }
        EXPECT_EQ(read(b + u("Заметка.rtf")), QByteArray("{\\rtf1 note}"));
        EXPECT_EQ(read(b + u("Заметка.html")), QByteArray("<html>page</html>"));
        EXPECT_EQ(read(b + u("Деталь.txt")), QByteArray("detail"));
        EXPECT_EQ(read(b + "Menue"), "B-root\r\n\t" + cp("Заметка") + "\r\n\t\t" + cp("Деталь") + "\r\n");
        EXPECT_EQ(read(b + "Menue_ind"), QByteArray("3\r\n4\r\n6\r\n"));
        EXPECT_EQ(read(a + "Menue"), cp("Корень\r\n\tБез файла\r\n"));
        EXPECT_EQ(read(a + "Menue_ind"), QByteArray("0\r\n1\r\n"));
        EXPECT_EQ(FormSlova->Tree1->topLevelItem(0)->childCount(), 1);
    }
    void expectNothingMoved(const QMap<QString, QString>& beforeA, const QMap<QString, QString>& beforeB)
    {
        EXPECT_EQ(snapshot(a), beforeA);
        EXPECT_EQ(snapshot(b), beforeB);
        EXPECT_EQ(FormSlova->Tree1->topLevelItem(0)->childCount(), 2);
        EXPECT_EQ(FormMove->TV->topLevelItem(0)->childCount(), 0);
    }
    // The move dies at a step in a child process, as at a power loss: after one file moved (the
    // second under way), then once the target's tree is written. Loading the source catalog
    // again puts the files back, then finishes the move, saying so once each time.
    void cutShortAndLoadAgain()
    {
        // Forked where it stands, so that the child works on this test's folders.
        const std::string style = GTEST_FLAG_GET(death_test_style);
        GTEST_FLAG_SET(death_test_style, "fast");
        const auto beforeA = snapshot(a), beforeB = snapshot(b);
        for (int step : {1, 3}) {
            qputenv("MORVANEL_MOVE_KILL_AT", QByteArray::number(step));
            EXPECT_EXIT(drop(1, onItem(FormMove->TV->topLevelItem(0))), testing::KilledBySignal(SIGKILL), "");
            qunsetenv("MORVANEL_MOVE_KILL_AT");
            ASSERT_TRUE(QFileInfo::exists(a + "menue_move"));
            dialogs->clear();
            FormSlova->LoadMenue();
            ASSERT_EQ(dialogs->messages().size(), 1);
            EXPECT_TRUE(dialogs->messages()[0].contains(step == 1 ? "put back" : "finished"))
                << dialogs->messages()[0].toStdString();
            EXPECT_EQ(QDir(b).entryList({".morvanel-move-*"}, QDir::Hidden | QDir::Files), QStringList{});
            if (step == 1) {
                EXPECT_EQ(snapshot(a), beforeA);
                EXPECT_EQ(snapshot(b), beforeB);
            }
        }
        expectMoved();
        EXPECT_FALSE(QFileInfo::exists(a + "menue_move"));
        dialogs->clear();
        FormSlova->LoadMenue();
        EXPECT_TRUE(dialogs->messages().isEmpty());
        GTEST_FLAG_SET(death_test_style, style);
    }
    QString a, b;
};

TEST_F(NodeManagerTest, ADroppedNodeMovesWithItsSubtreeAndAllItsFiles)
{
    EXPECT_TRUE(FormMove->isVisible());
    EXPECT_EQ(FormMove->windowTitle(), "Reorganizator node manager");
    ASSERT_EQ(FormMove->TV->topLevelItemCount(), 1);
    EXPECT_EQ(FormMove->TV->topLevelItem(0)->text(0), "B-root");
    FormSlova->CurrentNodeText = u("Деталь");
    FormSlova->CurrentFile = a + u("Деталь.txt");
    FormSlova->CurrentIndex = 3; // "Без файла" stays current, one place up
    drop(1, onItem(FormMove->TV->topLevelItem(0)));
    EXPECT_EQ(FormSlova->CurrentIndex, 1);
    EXPECT_TRUE(dialogs->messages().isEmpty()) << dialogs->messages().join("|").toStdString();
    expectMoved();
    EXPECT_EQ(FormMove->TV->topLevelItem(0)->child(0)->text(0), u("Заметка"));
    EXPECT_TRUE(FormSlova->CurrentNodeText.isEmpty());
    EXPECT_TRUE(FormSlova->CurrentFile.isEmpty());
}

TEST_F(NodeManagerTest, RefusalsChangeNothing)
{
    const auto beforeA = snapshot(a), beforeB = snapshot(b);
    QTreeWidgetItem* root = FormMove->TV->topLevelItem(0);
    // A node without a file.
    drop(3, onItem(root));
    EXPECT_EQ(dialogs->messages(), QStringList{"The is no file for move."});
    // Empty space and the indent.
    dialogs->clear();
    drop(1, QPoint(onItem(root).x(), FormMove->TV->viewport()->height() - 2));
    drop(1, QPoint(1, onItem(root).y()));
    EXPECT_TRUE(dialogs->messages().isEmpty());
    expectNothingMoved(beforeA, beforeB);

    // The target already holds a file of the subtree: refused, naming it.
    write(b + u("Деталь.txt"), "other");
    const auto beforeB2 = snapshot(b);
    drop(1, onItem(root));
    ASSERT_EQ(dialogs->messages().size(), 1);
    EXPECT_TRUE(dialogs->messages()[0].contains(b + u("Деталь.txt")));
    expectNothingMoved(beforeA, beforeB2);
    QFile::remove(b + u("Деталь.txt"));

    // The open note is modified and the user cancels: nothing moves.
    dialogs->clear();
    TFormEdit* editor = FormEdit;
    RefusingEditor refusing;
    FormEdit = &refusing;
    FormSlova->EditorShown = 1;
    FormSlova->CurrentNodeText = u("Заметка");
    drop(1, onItem(root));
    FormEdit = editor;
    FormSlova->EditorShown = 0;
    expectNothingMoved(beforeA, beforeB);

    // Read-only mode moves nothing.
    write(progFile("RunFromHere"), "");
    drop(1, onItem(root));
    QFile::remove(progFile("RunFromHere"));
    expectNothingMoved(beforeA, beforeB);
    EXPECT_TRUE(dialogs->messages().isEmpty());

    // The current catalog as target is refused; a folder without a tree shows an empty tree.
    pick(a);
    EXPECT_EQ(dialogs->messages().size(), 1);
    EXPECT_EQ(FormMove->TV->topLevelItemCount(), 0);
    // Also through a symbolic link to it.
    ASSERT_TRUE(QFile::link(a, progFile("LinkToA")));
    pick(progFile("LinkToA"));
    EXPECT_EQ(dialogs->messages().size(), 2);
    EXPECT_EQ(FormMove->TV->topLevelItemCount(), 0);
    EXPECT_TRUE(FormMove->TargetDir.isEmpty());
    const QString empty = progFile("Empty/");
    QDir().mkpath(empty);
    pick(empty);
    EXPECT_EQ(FormMove->TV->topLevelItemCount(), 0);
    drop(1, QPoint(20, 5));
    EXPECT_EQ(snapshot(a), beforeA);
    EXPECT_TRUE(QDir(empty).isEmpty());
    EXPECT_EQ(FormSlova->Tree1->topLevelItem(0)->childCount(), 2);
}

TEST_F(NodeManagerTest, ATargetTreeThatCannotBeWrittenSendsTheFilesBack)
{
    QFile::remove(b + "Menue_ind");
    QDir().mkpath(b + "Menue_ind/x"); // a folder where the icon file must go
    const auto beforeA = snapshot(a);
    drop(1, onItem(FormMove->TV->topLevelItem(0)));
    ASSERT_EQ(dialogs->messages().size(), 1);
    EXPECT_TRUE(dialogs->messages()[0].contains("The node was not moved."));
    // The tree file written before the icon file failed holds its old bytes again.
    EXPECT_EQ(snapshot(a), beforeA);
    EXPECT_EQ(read(b + "Menue"), QByteArray("B-root\r\n"));
    EXPECT_EQ(QDir(b).entryList(QDir::Files | QDir::Hidden), QStringList{"Menue"});
    EXPECT_EQ(FormSlova->Tree1->topLevelItem(0)->childCount(), 2);
    EXPECT_EQ(FormMove->TV->topLevelItem(0)->childCount(), 0);
    EXPECT_EQ(mtime(a + u("Заметка.rtf")), kOld.toSecsSinceEpoch());
}

TEST_F(NodeManagerTest, AMoveCutShortIsUndoneOrFinishedAtTheNextLoad) { cutShortAndLoadAgain(); }

TEST_F(NodeManagerTest, NothingMovesDuringACatalogSwitch)
{
    FormSlova->Dir_prog(); // saves the tree first
    const auto beforeA = snapshot(a), beforeB = snapshot(b);
    auto* n = new TTreeNode(u("Заметка"));
    FormSlova->Tree1->addTopLevelItem(n);
    drop(0, onItem(FormMove->TV->topLevelItem(0)));
    EXPECT_EQ(snapshot(a), beforeA);
    EXPECT_EQ(snapshot(b), beforeB);
}

TEST_F(NodeManagerTest, TheFolderTreesShowTheCatalogAndAKeyPicksTheTarget)
{
    // Folders enough before the catalogs that these lie far below the first rows.
    for (int i = 0; i < 80; ++i)
        QDir().mkpath(progFile(QStringLiteral("0%1").arg(i, 2, 10, QLatin1Char('0'))));
    const int folders = int(QDir(progFile("")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size());
    // Once the folders beside it are all read and sorted, the catalog's folder is the current
    // one and in view.
    auto showsCatalog = [this, folders](TFolderTree* t) {
        return QTest::qWaitFor([&] {
            const QModelIndex at = t->view->currentIndex();
            return t->model->filePath(at) == QDir::cleanPath(a) && t->model->rowCount(at.parent()) == folders &&
                   at.siblingAtRow(at.row() - 1).data().toString() == "079" &&
                   t->view->viewport()->rect().contains(t->view->visualRect(at));
        }, 20000);
    };
    FormMove->close();
    FormSlova->RestructFiles();
    EXPECT_TRUE(showsCatalog(FormMove->folders));
    // Down: B, whose tree is then the target's, as after a click.
    FormMove->TV->clear();
    FormMove->TargetDir.clear();
    FormMove->dl->setFocus();
    QTest::keyClick(FormMove->dl, Qt::Key_Down);
    EXPECT_TRUE(QTest::qWaitFor([] { return FormMove->TV->topLevelItemCount() == 1 &&
                                            FormMove->TV->topLevelItem(0)->text(0) == "B-root"; }, 5000));
    EXPECT_EQ(FormMove->TargetDir, b);
    EXPECT_TRUE(dialogs->messages().isEmpty()) << dialogs->messages().join("|").toStdString();
    FormMove->close();

    // The chooser's "Add Dir" opens its tree at the catalog's line, which it shows.
    FormDir->memo1->addItem(a);
    FormDir->show();
    ASSERT_EQ(FormDir->memo1->currentItem()->text(), a);
    FormDir->ADD_Dir();
    EXPECT_TRUE(showsCatalog(FormDir->folders));
}

class NodeManagerAcrossDevicesTest : public NodeManagerTest {
protected:
    void SetUp() override
    {
        struct stat here {}, shm {};
        if (::stat("/dev/shm", &shm) != 0 || ::stat(QFile::encodeName(prog.path()).constData(), &here) != 0 ||
            here.st_dev == shm.st_dev)
            GTEST_SKIP() << "no second file system at /dev/shm";
        other_ = std::make_unique<QTemporaryDir>(QStringLiteral("/dev/shm/morvanel-test-XXXXXX"));
        ASSERT_TRUE(other_->isValid());
        setUpCatalogs(other_->path() + "/B/");
    }
    std::unique_ptr<QTemporaryDir> other_;
};

TEST_F(NodeManagerAcrossDevicesTest, TheSameMoveOnAnotherFileSystem)
{
    drop(1, onItem(FormMove->TV->topLevelItem(0)));
    EXPECT_TRUE(dialogs->messages().isEmpty()) << dialogs->messages().join("|").toStdString();
    expectMoved();
    EXPECT_EQ(QDir(b).entryList(QStringList{".morvanel-move-*"}, QDir::Hidden | QDir::Files), QStringList{});
}

TEST_F(NodeManagerAcrossDevicesTest, AMoveCutShortMidCopyLeavesNoTemporary) { cutShortAndLoadAgain(); }

TEST_F(NodeManagerAcrossDevicesTest, AFailureMidwayPutsBackWhatMoved)
{
    const auto beforeB = snapshot(b);
    QList<nodemove::FileMove> moves;
    QString error;
    ASSERT_EQ(nodemove::planMove(FormSlova->Tree1->topLevelItem(0)->child(0), a, b, moves, &error),
              nodemove::PlanResult::Ok);
    ASSERT_EQ(moves.size(), 3);
    // A source removed between the check and its move.
    const QByteArray last = read(moves[2].from);
    QFile::remove(moves[2].from);
    EXPECT_FALSE(nodemove::moveAll(moves, &error));
    EXPECT_TRUE(error.contains(moves[2].from));
    EXPECT_EQ(snapshot(b), beforeB);
    EXPECT_EQ(read(a + u("Заметка.rtf")), QByteArray("{\\rtf1 note}"));
    EXPECT_EQ(mtime(a + u("Заметка.rtf")), kOld.toSecsSinceEpoch());
    EXPECT_EQ(read(a + u("Заметка.html")), QByteArray("<html>page</html>"));
    // The same on one file system.
    const QString same = progFile("C/");
    QDir().mkpath(same);
    write(moves[2].from, last);
    ASSERT_EQ(nodemove::planMove(FormSlova->Tree1->topLevelItem(0)->child(0), a, same, moves, &error),
              nodemove::PlanResult::Ok);
    QFile::remove(moves[1].from);
    EXPECT_FALSE(nodemove::moveAll(moves, &error));
    EXPECT_TRUE(QDir(same).isEmpty());
    EXPECT_TRUE(QFileInfo::exists(moves[0].from));
}

TEST(NodeMove, MoveFileNeverReplaces)
{
    testsupport::TempDir d;
    testsupport::writeFile(d.file("a"), "A");
    testsupport::writeFile(d.file("b"), "B");
    QString error;
    EXPECT_FALSE(nodemove::moveFile(d.file("a"), d.file("b"), &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(testsupport::readFile(d.file("a")), QByteArray("A"));
    EXPECT_EQ(testsupport::readFile(d.file("b")), QByteArray("B"));
    EXPECT_TRUE(nodemove::moveFile(d.file("a"), d.file("c"), &error));
    EXPECT_EQ(testsupport::readFile(d.file("c")), QByteArray("A"));
}

// A catalog "T" beside the program whose tree is one node "T-root".
class NodeMoveTest : public NodeTest {
protected:
    QString targetCatalog()
    {
        const QString target = progFile("T/");
        QDir().mkpath(target);
        write(target + "Menue", "T-root\r\n");
        // In the catalog list, as the catalog chooser holds it.
        FormDir->memo1->addItem("T\\");
        return target;
    }
    void pickTarget(const QString& target)
    {
        FormMove->folders->openAt(target);
        FormMove->FileTree();
    }
};

TEST_F(NodeMoveTest, AMovedNoteStillOpenAndModifiedIsAskedForAndCancelMovesNothing)
{
    open("A\r\n\tN\r\n");
    write(cat + "N.rtf", "{\\rtf1 r}");
    const QString target = targetCatalog();
    click(1);
    typeIntoNote("more");
    dialogs->pushAnswer(platform::MsgResult::Cancel); // the node manager's command asks first
    FormSlova->RestructFiles();
    ASSERT_TRUE(FormMove->isVisible());
    ASSERT_EQ(FormSlova->EditorShown, 1);
    pickTarget(target);
    dialogs->clear();
    dialogs->pushAnswer(platform::MsgResult::Cancel);
    drop(1, onItem(FormMove->TV->topLevelItem(0)));
    EXPECT_EQ(dialogs->messages(), QStringList{"Save changes to " + cat + "N.rtf?"});
    EXPECT_EQ(read(cat + "N.rtf"), QByteArray("{\\rtf1 r}"));
    EXPECT_FALSE(QFileInfo::exists(target + "N.rtf"));
    EXPECT_EQ(read(target + "Menue"), QByteArray("T-root\r\n"));
    EXPECT_EQ(texts(), (QStringList{"A", "N"}));
    // "No": the note is given up, the node moves and the editor no longer names it.
    dialogs->clear();
    dialogs->pushAnswer(platform::MsgResult::No);
    drop(1, onItem(FormMove->TV->topLevelItem(0)));
    EXPECT_EQ(read(target + "N.rtf"), QByteArray("{\\rtf1 r}"));
    EXPECT_EQ(read(target + "Menue"), QByteArray("T-root\r\n\tN\r\n"));
    EXPECT_EQ(texts(), QStringList{"A"});
    EXPECT_EQ(FormSlova->EditorShown, 0);
    EXPECT_TRUE(FormSlova->CurrentNodeText.isEmpty());
    EXPECT_TRUE(FormSlova->CurrentFile.isEmpty());
}

TEST_F(NodeMoveTest, AMovedPageHasItsPendingHeaderWrittenFirst)
{
    open("A\r\n\tP\r\n");
    write(cat + "P.html", "<html>body</html>\r\n");
    const QString target = targetCatalog();
    click(1);
    ASSERT_EQ(FormHTMLKategory->LoadedFile(), cat + "P.html");
    FormHTMLKategory->ListKategory->addItem("<!-- pending header line -->");
    FormHTMLKategory->HeaderChanged = 1;
    FormSlova->RestructFiles();
    pickTarget(target);
    drop(1, onItem(FormMove->TV->topLevelItem(0)));
    EXPECT_TRUE(dialogs->messages().isEmpty()) << dialogs->messages().join("|").toStdString();
    EXPECT_TRUE(read(target + "P.html").startsWith("<!-- pending header line -->"));
    EXPECT_TRUE(read(target + "P.html").contains("<html>body</html>"));
    EXPECT_FALSE(QFileInfo::exists(cat + "P.html"));
    EXPECT_EQ(FormHTMLKategory->HeaderChanged, 0);
    EXPECT_FALSE(FormSlova->PanelWeb->isVisible());
    EXPECT_TRUE(FormSlova->CurrentFile.isEmpty());
}
