#pragma once
// The note editor window TFormEdit: a menu, a tool bar, a ruler with three indent markers and a
// status bar around one TNoteEdit. The class spans several files: REMain.cpp (creation, menus,
// tool bar, hints), REFormat.cpp (formatting commands, the ruler, the refresh from the
// selection), REFiles.cpp (loading, saving, asking, closing, dropped files) and RECommands.cpp
// (pictures, objects, find, addresses, printing).
#include "editor/NoteEdit.h"

#include <QString>
#include <QWidget>

#include <sys/types.h>

class QAction;
class QButtonGroup;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QMenuBar;
class QStatusBar;
class QToolButton;
class TValueUpDown;

// One of the ruler's three indent markers; it draws its own shape and hands its mouse events
// to the editor window's shared handlers.
class TRulerMarker : public QWidget {
    Q_OBJECT
public:
    enum Shape { FirstLine, LeftIndent, RightIndent };
    TRulerMarker(Shape shape, QWidget* parent);
    Shape shape() const { return shape_; }

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;

private:
    Shape shape_;
};

// A file dialog as the window keeps it: its filter, folder and last answer.
struct TFileDialogState {
    QString Filter;
    QString InitialDir;
    QString FileName;
    bool ReadOnly = false; // the open dialog's "Open as read-only" answer
};

// The note editor window. It is laid over the main window's editor panel as a child widget
// filling it (a top-level window cannot be placed over another on every Linux desktop).
class TFormEdit : public QWidget {
    Q_OBJECT
public:
    TFormEdit();
    ~TFormEdit() override;

    static constexpr double RulerScale = 4.0 / 3.0; // ruler pixels per point of indent
    static constexpr int RulerGutter = 6;

    // The file the note is saved to; "Untitled" while the text has no file.
    QString EditorFileName;
    bool RulerUpdating = false;
    int RulerDragOffset = 0;
    bool RulerDragging = false;
    TFileDialogState OpenDialog, SaveDialog, PictureDialog;

    // Controls, by their design names.
    QMenuBar* MainMenu = nullptr;
    QAction *FileNewCmd = nullptr, *FileOpenCmd = nullptr, *FileSaveCmd = nullptr, *FileSaveAsCmd = nullptr;
    QAction *FilePrintCmd = nullptr, *FileExitCmd = nullptr;
    QAction *EditUndoCmd = nullptr, *EditCutCmd = nullptr, *EditCopyCmd = nullptr, *EditPasteCmd = nullptr;
    QAction* EditFontCmd = nullptr;
    QAction *Picture1 = nullptr, *Object1 = nullptr, *Paragraph1 = nullptr, *HiddenItem = nullptr;
    QWidget* StandardToolBar = nullptr;
    QToolButton *NewButton = nullptr, *OpenButton = nullptr, *SaveButton = nullptr, *PrintButton = nullptr;
    QFrame* ToolButton1 = nullptr; // the hidden divider
    QToolButton *CutButton = nullptr, *CopyButton = nullptr, *PasteButton = nullptr, *UndoButton = nullptr;
    QToolButton *ToolButton3 = nullptr, *ToolButton4 = nullptr;
    QComboBox* FontName = nullptr;
    QLineEdit* FontSize = nullptr;
    TValueUpDown* UpDown1 = nullptr;
    QToolButton *BoldButton = nullptr, *ItalicButton = nullptr, *UnderlineButton = nullptr;
    QToolButton *LeftAlign = nullptr, *CenterAlign = nullptr, *RightAlign = nullptr, *BulletsBtn = nullptr;
    QButtonGroup* AlignGroup = nullptr;
    QWidget* Ruler = nullptr;
    TRulerMarker *FirstInd = nullptr, *LeftInd = nullptr, *RightInd = nullptr;
    QFrame* RulerLine = nullptr;
    QString RulerCaption;
    TNoteEdit* Editor = nullptr;
    QStatusBar* StatusBar = nullptr;
    QLabel* StatusPanel0 = nullptr; // caret position
    // Panel 1 of the status bar: "Modified" while the note has unsaved changes.
    QLabel* StatusPanel1 = nullptr;
    QLabel* StatusPanel2 = nullptr;

    // The main window's interface.
    // True when the note has unsaved changes (panel 1 reads "Modified").
    bool Modified() const;
    // Loads the note of the main window's current node: ".txt" before ".rtf", else an empty
    // note that will be saved as the node's ".rtf" file.
    void EditFileFromTree();
    // Saves the note to its own file. False when the note is not safe on disk (the write
    // failed, the user declined, or Save As was cancelled): the caller must not drop it then.
    bool FileSave();
    // The same, for a note about to be left (another node opened, the editor closed): the
    // "Save anyway?" of a damaged or read-only note then also takes No, which keeps the file as
    // it is and drops the edits.
    bool SaveBeforeLeaving();
    // Asked before the note would be lost ("Save changes to %s?"); false keeps the window (and
    // the program) open. The one place that asks.
    virtual bool CloseQuery();
    // Hides the editor; the main window no longer counts it as shown. False when the editor
    // stayed open (Cancel to "Save changes to %s?"): the caller stops what it was doing.
    bool Close();
    // Shut-down step.
    void FormDestroy();

    // Commands.
    bool FileSaveAs();
    void FileNew();
    void FileOpen();
    void FilePrint();
    void FileExit();
    void FilesDropped(const QStringList& files);
    void EditUndo();
    void EditCut();
    void EditCopy();
    void EditPaste();
    void SelectFont();
    void Picture1Click();
    void Object1Click();
    void Paragraph1Click();
    void HiddenItemClick();
    void ToolButton3Click(); // redo
    void ToolButton4Click(); // find

    // Routines.
    void FormShow();
    void ApplyFileName(const QString& name);
    // False when the calling operation must stop (Cancel, or Yes and the save did not happen).
    // No drops the edits (see discardChanges).
    bool AskSaveChanges();
    // Loads a note file, read-only when asked or when the file is damaged (the user is told).
    bool OpenNoteFile(const QString& name, bool readOnly, bool tellDamage = true);
    void ShowModifiedMark(bool value);
    void ShowCaretPosition();
    void SelectionChange();
    void RichEditChange();
    TNoteTextAttributes* TypingAttributes();
    void ApplyTextMargins();
    void RulerResize();
    void BuildRulerMarks();
    void FillFontList();
    void ActionList2Update();
    // The application's hint handler: a non-empty hint shows its long part as the one simple
    // panel of the status bar; an empty hint brings back the three panels.
    void ShowHint(const QString& hint);
    void Editor1TextNotFound(const QString& text);
    void Editor1URLClick(const QString& url, Qt::MouseButton button);

    // Formatting commands.
    void BoldButtonClick();
    void ItalicButtonClick();
    void UnderlineButtonClick();
    void FontNameChange();
    void FontSizeChange();
    void AlignButtonClick(int tag);
    void BulletsButtonClick();

    // The three markers' shared mouse handlers; x is in the marker's own coordinates.
    void RulerItemMouseDown(TRulerMarker* marker, int x);
    void RulerItemMouseMove(TRulerMarker* marker, int x);
    void FirstIndMouseUp();
    void LeftIndMouseUp();
    void RightIndMouseUp();

protected:
    void showEvent(QShowEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dropEvent(QDropEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void createMenus();
    void createToolBar();
    void createRuler();
    void createStatusBar();
    void FormCreate();
    // The typing attributes an empty note starts with (Arial 12).
    void ApplyNewNoteAttributes();
    // The answer No: the note's edits are dropped and the note is shown as its file holds it.
    void discardChanges();
    // Writes the note to name after the checks that keep the user's files safe.
    bool saveNote(bool leaving);
    bool saveTo(const QString& name, bool checkDisk, bool leaving = false);
    void rememberDiskState(const QString& name);
    // An empty note under fileName, with no file behind it yet: a new note (the window's typing
    // attributes) or, readOnly, the stand-in of a note that could not be read.
    void showEmptyNote(const QString& fileName, const QString& refusedName, bool readOnly);
    bool changedOnDisk(const QString& name) const;
    QString plainTextLosses() const;
    void fontSizeRefused();

    // The note's file as it was when the editor last read or wrote it.
    struct DiskState {
        bool exists = false;
        qint64 size = 0;
        qint64 mtimeNs = 0;
        quint64 inode = 0;
    } disk_;
    QString refusedName_;     // the node text that cannot be a file name, if any
    bool damaged_ = false;    // the note's file could be read only up to a damage
    bool askedReadOnly_ = false; // the note was opened read-only on the user's word
    QString badSizeText_;     // the size text last reported as not a number
    bool hintShown_ = false;
};

extern TFormEdit* FormEdit;

// A node text can name a note file only when the file stays directly in the catalog.
bool IsUsableNoteName(const QString& nodeText);
