#pragma once
#include <QString>

class QFileSystemModel;
class QTreeView;
class QWidget;

// The folder tree of the windows that pick a catalog folder: folders only, of the whole file
// system from "/", hidden folders left out.
class TFolderTree {
public:
    TFolderTree(QWidget* parent, const QString& objectName);
    QTreeView* view;
    QFileSystemModel* model;

    // Selects the folder and scrolls to it (its parents are expanded).
    void openAt(const QString& folder);
    // The selected folder without a final "/", or empty when none is selected.
    QString selected() const;
};
