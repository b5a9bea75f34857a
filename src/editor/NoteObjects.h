#pragma once
// The object dialogs of the note editor's control: Insert Object and the object's properties.
#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;
class TCustomNoteEdit;

// "Create New" offers nothing (no object servers exist here); "Create from File" embeds the file
// as a package, or links it with "Link"; a package always shows its icon.
class TInsertObjectDialog : public QDialog {
    Q_OBJECT
public:
    explicit TInsertObjectDialog(QWidget* parent = nullptr);
    QRadioButton *CreateNew, *CreateFromFile;
    QLineEdit* FileName;
    QPushButton* BrowseButton;
    QCheckBox *LinkCheck, *DisplayAsIcon;
    QPushButton *OkButton, *CancelButton;
};

// The properties of one object or picture: its General and View pages and, for a linked
// package, its Link page. The size is that of the object's own data (a linked file's size),
// none where that is not known. No object server exists here to draw an object another way, so
// the View page shows how the object is displayed without offering a change.
class TObjectPropertiesDialog : public QDialog {
    Q_OBJECT
public:
    TObjectPropertiesDialog(TCustomNoteEdit* edit, int pos, QWidget* parent = nullptr);
    QTabWidget* Pages;
    QLabel *TypeLabel, *SizeLabel, *LocationLabel;
    QRadioButton *ContentView, *IconView;
    QLabel* IconLabel;
    QLabel* SourceLabel = nullptr;
    QRadioButton *AutomaticUpdate = nullptr, *ManualUpdate = nullptr;
    QPushButton *OpenSourceButton = nullptr, *UpdateNowButton = nullptr, *ChangeSourceButton = nullptr,
                *BreakLinkButton = nullptr;
    QPushButton* OkButton;

    void OpenSource();
    void UpdateNow();
    void ChangeSource();
    void BreakLink();
    void SetUpdateOption(bool automatic);

private:
    void refresh();
    class QFormLayout* general_;
    TCustomNoteEdit* edit_;
    int pos_;
};
