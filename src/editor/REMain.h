#pragma once
#include <QString>
#include <QWidget>

class QLabel;
class QStatusBar;

// The note editor window. It is laid over the main window's editor panel as a child widget
// filling it (a top-level window cannot be placed over another on every Linux desktop).
class TFormEdit : public QWidget {
    Q_OBJECT
public:
    TFormEdit();

    // The file the note is saved to.
    QString EditorFileName;
    QStatusBar* StatusBar;
    // Panel 1 of the status bar: "Modified" while the note has unsaved changes.
    QLabel* StatusPanel1;

    bool Modified() const;
    // Loads the note of the main window's current node.
    void EditFileFromTree() {}
    // Saves the note to its own file. False when the note is not safe on disk (the write
    // failed or Save As was cancelled): the caller must not drop or replace it then.
    bool FileSave() { return true; }
    // Asked before the note would be lost; false keeps the window (and the program) open.
    virtual bool CloseQuery() { return true; }
    // Hides the editor; the main window no longer counts it as shown. False when the editor
    // stayed open (Cancel to "Save changes to %s?"): the caller stops what it was doing.
    bool Close();
    // Shut-down step.
    void FormDestroy();
};

extern TFormEdit* FormEdit;
