// Main window: adding the catalog's pages and notes that no node names yet, on request and when
// another program sets "Redraw".
#include "UnitSlova.h"
#include "platform/web/BrowserControl.h"

#include "MoveRecovery.h"
#include "NodeFiles.h"
#include "TreeFile.h"
#include "UnitDir.h"
#include "UnitZip.h"
#include "platform/dialogs/Dialogs.h"
#include "platform/files/FileNames.h"
#include "platform/settings/SettingsStore.h"
#include "web/PageHeader.h"

#include <QApplication>
#include <QFileInfo>
#include <QSet>
#include <QTreeWidget>

void TFormSlova::Tree_prog()
{
    const QString report = nodefiles::leftOutReport(addCatalogFiles());
    // Said once the tree is saved; a box left open holds nothing back.
    if (!report.isEmpty())
        platform::dialogs().message(report, QString(), platform::MsgButtons::Ok, platform::MsgIcon::Warning);
}

QList<nodefiles::LeftOut> TFormSlova::addCatalogFiles()
{
    QList<nodefiles::LeftOut> leftOut;
    // In read-only mode the nodes are shown and the save-all step writes nothing.
    if (!treeMayChange(false))
        return leftOut;
    const QStringList names = nodefiles::catalogNodeNames(
        ProjectPath, [](const QString& page) { return FindKomand(page, QStringLiteral("HidePage")) == QLatin1String("true"); },
        &leftOut);
    if (Tree1->topLevelItemCount() == 0)
        loadEmptyTreeTemplate();
    const QList<QTreeWidgetItem*> nodes = treefile::allNodes(Tree1);
    QSet<QString> texts;
    texts.reserve(nodes.size() + names.size());
    for (const QTreeWidgetItem* n : nodes)
        texts.insert(n->text(0));
    // Files that a node move cut short brought here still belong to the tree of the catalog
    // they came from, whose next load finishes the move (with their subtree) or takes them back.
    for (const nodemove::FileMove& f : nodemove::pendingArrivals(ProjectPath, knownCatalogs(ProgramDir))) {
        const QString name = QFileInfo(f.to).fileName();
        const QString text = name.left(name.lastIndexOf(QLatin1Char('.')));
        if (!texts.contains(text) && names.contains(text)) {
            texts.insert(text);
            leftOut.append({name, QStringLiteral("a node move from %1 into this catalog was cut short; opening that "
                                                 "catalog settles it").arg(QFileInfo(f.from).absolutePath())});
        }
    }
    // Each new node goes in front of those added before it.
    QList<QTreeWidgetItem*> added;
    for (const QString& name : names) {
        if (texts.contains(name))
            continue;
        texts.insert(name);
        auto* node = new TTreeNode(name);
        node->ImageIndex = 14;
        node->SelectedIndex = 34;
        added.prepend(node);
    }
    if (!added.isEmpty()) {
        QTreeWidgetItem* current = nodes.value(CurrentIndex);
        QTreeWidgetItem* first = Tree1->topLevelItem(0);
        first->insertChildren(0, added);
        Tree1->setCurrentItem(first);
        if (current)
            CurrentIndex = treefile::absoluteIndex(current);
    }
    FormDestroy();
    return leftOut;
}

bool TFormSlova::TreeTimerMayRun() const
{
    // Nor during a zip or unzip run, which lets events run between its blocks.
    return !QApplication::activeModalWidget() && !Panel1->isVisible() && !(FormDir && FormDir->isVisible()) && !NoCatalog
        && !(FormZip && FormZip->Running()) && !platform::BrowserControl::waiting() && !pageToolBusy_;
}

void TFormSlova::TimerTreeTimer()
{
    // Timers fire inside modal dialogs too, and during a rename (the rename panel) or a catalog
    // switch: never change the tree then; "Redraw" stays set, so the next tick tries again.
    if (!TreeTimerMayRun())
        return;
    platform::SettingsStore reg;
    if (reg.readInteger(QStringLiteral("Redraw"), 0) != 1)
        return;
    reg.writeInteger(QStringLiteral("Redraw"), 0);
    // No one waits at the screen for this run: no box. The files left out stay where they are,
    // and the next "Draw the tree" names them.
    addCatalogFiles();
}
