#pragma once
#include "Forms.h"

#include <QStringList>

#include <functional>
#include <memory>

class QCheckBox;
class QDateTimeEdit;
class QLineEdit;
class QProgressDialog;
class QPushButton;
namespace archive {
class TZipReader;
class TZipWriter;
}

// The archive window: zips the catalog folder's own files into an archive and unzips an
// archive into the catalog folder.
class TFormZip : public TForm {
    Q_OBJECT
public:
    TFormZip();
    ~TFormZip() override;

    QLineEdit* Edit1;
    QPushButton* ButtonZip;
    QPushButton* ButtonUnZip;
    QPushButton* OpenFile; // "..."
    QDateTimeEdit* DateTimePicker1; // hidden
    QCheckBox* CheckBox1;           // "Use date", hidden
    std::unique_ptr<archive::TZipReader> ZipReader1;
    std::unique_ptr<archive::TZipWriter> ZipWriter1;

    void FormCreate();
    void FormActivate();
    void OpenFileClick();
    void ButtonZipClick();
    void ButtonUnZipClick();
    void CheckBox1Click();

    // The main window's two menu commands: the window with the zip or the unzip button.
    void ShowFor(bool zip);
    // True while a zip or unzip run is under way.
    bool Running() const { return running_; }

protected:
    bool event(QEvent* e) override;

private:
    // Runs a component's work with a modal progress dialog. False, with the message of the
    // exception in `error`, when the run ended with one.
    bool runWithProgress(archive::TZipReader& component, const std::function<void()>& work, QString& error);
    // Closes the note editor (it may ask to save; false on Cancel) and saves the page
    // header editor's pending changes (false when they could not be saved).
    bool saveOpenEditors();
    // False, with a message, while no catalog is loaded.
    bool catalogOpen();
    // Shows a message the window itself opened: its closing is no new activation.
    void ownMessage(const QString& text);
    void noteOwnDialog();

    bool running_ = false;
    int ownDialogs_ = 0;         // dialogs of the window's own open now
    bool leftForOwnDialog_ = false; // the window was deactivated by one of them
    QStringList failures_;       // members or files the last run left out, with the reason
    QProgressDialog* progress_ = nullptr;
    int lastPercent_ = -1;
};

extern TFormZip* FormZip;
