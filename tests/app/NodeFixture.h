#pragma once
#include "AppFixture.h"
#include "app/TreeFile.h"
#include "app/UnitMove.h"
#include "editor/REMain.h"
#include "platform/shell/Launcher.h"
#include "platform/web/BrowserControl.h"

#include "app/UnitDir.h"

#include <QLabel>
#include <QTimer>
#include <QLineEdit>
#include <QTreeWidget>

// An editor that records what the main window asks of it: the file current at each load, its
// saves and its closes, answering as a test tells it.
class RecordingEditor : public TFormEdit {
public:
    QStringList loads; // CurrentFile at each EditFileFromTree ("" for a new note)
    int saves = 0;
    int closeQueries = 0;
    bool saveResult = true;
    bool closeResult = true;
    void EditFileFromTree() override
    {
        loads.append(FormSlova->CurrentFile);
        StatusPanel1->clear();
    }
    bool FileSave() override
    {
        ++saves;
        if (saveResult)
            StatusPanel1->clear();
        return saveResult;
    }
    bool CloseQuery() override
    {
        ++closeQueries;
        return closeResult;
    }
    void modify() { StatusPanel1->setText(QStringLiteral("Modified")); }
};

// A catalog "Project1" with the given tree file, the program started on it with a recording
// editor, a recording launcher and (unless realBrowser) the fake browser.
class NodeTest : public AppTest {
protected:
    ~NodeTest() override
    {
        if (FormSlova)
            stop();
        platform::setLauncher(std::move(oldLauncher_));
    }

    void open(const QByteArray& menue, const QByteArray& icons = QByteArray())
    {
        cat = makeCatalog(QStringLiteral("Project1"), menue);
        if (!icons.isEmpty())
            write(cat + "Menue_ind", icons);
        startHere();
    }
    void startHere()
    {
        auto l = std::make_unique<platform::RecordingLauncher>();
        launch = l.get();
        auto old = platform::setLauncher(std::move(l));
        if (!oldLauncher_)
            oldLauncher_ = std::move(old);
        start();
        FormSlova->Timer1->stop();
        FormSlova->TimerTree->stop();
        delete FormEdit;
        FormEdit = editor = new RecordingEditor;
        FormSlova->show();
        dialogs->clear();
    }

    QTreeWidget* tree() const { return FormSlova->Tree1; }
    QTreeWidgetItem* node(int i) const { return treefile::nodeAt(FormSlova->Tree1, i); }
    void select(int i) { tree()->setCurrentItem(node(i)); }
    void click(int i)
    {
        select(i);
        FormSlova->Tree1Click();
    }
    platform::FakeBrowser* browser() const { return qobject_cast<platform::FakeBrowser*>(FormSlova->WB1); }
    QStringList texts() const
    {
        QStringList out;
        for (QTreeWidgetItem* n : treefile::allNodes(FormSlova->Tree1))
            out.append(n->text(0));
        return out;
    }
    void setReadOnly() { write(progFile("RunFromHere"), ""); }

    QString cat;
    RecordingEditor* editor = nullptr;
    platform::RecordingLauncher* launch = nullptr;

private:
    std::unique_ptr<platform::Launcher> oldLauncher_;
};
