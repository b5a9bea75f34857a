#pragma once
#include "AppFixture.h"
#include "app/TreeFile.h"
#include "app/UnitMove.h"
#include "editor/NoteEdit.h"
#include "editor/REMain.h"
#include "platform/shell/Launcher.h"
#include "platform/web/BrowserControl.h"

#include "app/UnitDir.h"

#include <QLabel>
#include <QTest>
#include <QTimer>
#include <QLineEdit>
#include <QTreeWidget>

// A catalog "Project1" with the given tree file, the program started on it with the real
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
    // Types into the open note, which then reads "Modified".
    void typeIntoNote(const QString& text)
    {
        FormEdit->Editor->setFocus();
        QTest::keyClicks(FormEdit->Editor, text);
    }
    QString noteText() const { return FormEdit->Editor->Text(); }
    void setReadOnly() { write(progFile("RunFromHere"), ""); }

    QString cat;
    platform::RecordingLauncher* launch = nullptr;

private:
    std::unique_ptr<platform::Launcher> oldLauncher_;
};
