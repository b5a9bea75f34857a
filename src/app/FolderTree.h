#pragma once
#include <QObject>
#include <QString>

class QFileSystemModel;
class QTreeView;
class QWidget;

// The folder tree of the windows that pick a catalog folder: folders only, of the whole file
// system from "/", hidden folders left out.
class TFolderTree : public QObject {
    Q_OBJECT
public:
    TFolderTree(QWidget* parent, const QString& objectName);
    QTreeView* view;
    QFileSystemModel* model;

    // Selects the folder and keeps it scrolled into view (its parents are expanded) while the
    // folders around it are still being read, until the user scrolls, clicks or types.
    void openAt(const QString& folder);
    // The selected folder without a final "/", or empty when none is selected.
    QString selected() const;

signals:
    // The user moved the selection to another folder with a key.
    void chosenWithKeyboard();

protected:
    bool eventFilter(QObject* o, QEvent* e) override;

private:
    void scrollSoon();
    QString following_; // the folder kept in view, empty once the user takes over
    bool scrollQueued_ = false;
};
