#pragma once
#include "Forms.h"

#include <QStringList>

class QCheckBox;
class QFileSystemModel;
class TFolderTree;
class QLineEdit;
class QListWidget;
class QMenu;
class QPushButton;
class QTreeView;

// The catalog chooser: the list of known catalogs kept in the file "dir" beside the program.
// Its caption doubles as the chosen entry.
class TFormDir : public TForm {
    Q_OBJECT
public:
    TFormDir();
    ~TFormDir() override;
    QListWidget* memo1;
    TFolderTree* folders;    // the folder tree dl, shown while a folder is added
    QTreeView* dl;
    QFileSystemModel* dlModel;
    QLineEdit* Edit1;        // the name of a new folder
    QMenu* PopupMemo;        // the list's popup menu
    QCheckBox* CheckBox1;
    QPushButton* Button1;
    QPushButton* ButtonSelect;
    QPushButton* Button3;
    QPushButton* Button4;
    QPushButton* ButtonDir;

    void FormCreate();
    void FormDestroy() override;
    void OK();
    void CheckBox1Click();

    // List editing
    void ADD_Dir();        // folder mode, opened at the selected entry's folder
    void Choice();         // "Select": adds the folder chosen in the tree and opens it
    void No_Choice();      // "Cancel": back to list mode
    void ButtonDirClick(); // "NewDir": asks for the name of a folder to make
    void Dlete();
    void MoveUp1Click();
    void MoveDown1Click();
    // Makes the folder typed in Edit1 under the folder selected in the tree and adds it.
    void MakeNewDir();
    // The folder selected in the tree, or empty when none is.
    QString SelectedFolder() const;

protected:
    void showEvent(QShowEvent* e) override;
    bool eventFilter(QObject* o, QEvent* e) override;

public:
    void reject() override;

private:
    void captionFromList();
    void swapWith(int delta);
    bool addFolderEntry(const QString& folder);
};

extern TFormDir* FormDir;

// The folders of the catalog list, each ending in "/": the chooser's list while the chooser
// exists (it writes "dir" at shut-down), else the list file "dir" in programDir.
QStringList knownCatalogs(const QString& programDir);
