#pragma once
#include "Forms.h"

#include <QByteArray>
#include <QList>
#include <QStringList>

class QLineEdit;
class QListWidget;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

// The search form of a node text: trimmed, "A" to "Z" in lower case, and a first letter
// "А" to "Я" folded to lower case (only the first; "Ё" stays).
QString searchForm(const QString& text);

// One hit line ("<search form> <n>") for every line of a tree file whose search form holds
// the search form of key; n is the line's index. An empty key finds nothing.
QStringList findNodeLines(const QList<QByteArray>& treeLines, const QString& key);

// The node a hit line names: the node at the line's number when its text has the hit's
// search form, else the first node in tree order that has it, else null (the file may differ
// from the tree the user sees).
QTreeWidgetItem* nodeOfHit(const QTreeWidget* tree, const QString& hitLine);

// The node search window: finds nodes of the current tree file by a part of their text.
class TFormSearch : public TForm {
    Q_OBJECT
public:
    TFormSearch();
    QLineEdit* Edit1;
    QListWidget* ListFind;
    QPushButton* Button3;

    void Find_the_key();
    void ListFindClick();
    void Button3Click() { close(); }

protected:
    bool eventFilter(QObject* o, QEvent* e) override;
};

extern TFormSearch* FormSearch;
