#pragma once
#include "app/Forms.h"

class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QMenuBar;
class QPushButton;

// The search words window: the catalog's search phrases ("keywords"), their search-engine
// addresses ("UrlsForDownload") and the download task files made from them.
class TForm_keys : public TForm {
    Q_OBJECT
public:
    TForm_keys();

    QLabel* LabelTitle; // "Search words"
    QListWidget* ListBox1;
    QLineEdit* EditS1; // "Search engine mask"
    QLineEdit* EditS2; // "+ Search words"
    QWidget* Panel1;   // bottom panel
    QLineEdit* Edit1;
    QPushButton* ButtonMakeFile; // "Make file"
    QCheckBox* CheckBox1;
    QMenuBar* MainMenu1;
    QAction* Downloadmanager1;
    QAction* Makefiles1;
    QAction* Openlistontexteditor1;
    QAction* Google1;
    QAction* Yandex1;
    QAction* AltaVista1;
    QMenu* PopupMenu1;
    QAction* Insertline1;
    QAction* MovelineUp1;
    QAction* MovelineDown1;
    QAction* Delleteline1;
    QAction* Editline1;

    // Set by the page tools before they call Check_html_files.
    QString UrlOrTaskName;
    int LastLineOnly = 0;

    // Makes task files from the list (all lines, or the last with LastLineOnly).
    void Check_html_files();
    // The page tools' hand-over: the line "url:" + address is added to the current catalog's
    // list and made a task file. Returns the task's base name, empty when none was written;
    // *failed tells whether that was for a failure already shown to the user.
    QString MakeTaskForUrl(const QString& address, bool* failed = nullptr);
    // The value of a key in a page's header, in lower case (see PageHeader.h); Value is left as
    // the caller passed it when the file is missing or holds no such line.
    void FindKomand(QObject* Sender, const QString& FileName, const QString& Key, QString& Value);
    void MakeURL(QString& line) const;
    // Saves the list to its keywords file, then every address to "UrlsForDownload".
    bool SaveU();
    // Saves pending changes to the list's own file, then loads the current catalog's list.
    void ReRead();
    // The keywords file the list belongs to.
    QString KeywordsFile() const { return file_; }
    bool ListChanged() const { return changed_; }

    void Insertline1Click();
    void MovelineUp1Click();
    void MovelineDown1Click();
    void Delleteline1Click();
    void Editline1Click();
    void Openlistontexteditor1Click();
    void ButtonMakeFileClick();
    void Preset(const QString& prefix, const QString& suffix);
    void FormDestroy() override;
    void reject() override;

    static QString GooglePrefix();

protected:
    bool event(QEvent* e) override;
    bool eventFilter(QObject* o, QEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    bool saveList();
    bool catalogLoaded() const;
    void layoutPanel();
    QString file_;
    bool changed_ = false;
    // The lines of a save that failed: activation does not try them again (the closed message
    // box activates this window, which would show the message again and again).
    bool saveFailed_ = false;
    QStringList failedLines_;
    bool runFailed_ = false; // the last Check_html_files showed an error
    QStringList listLines() const;
};

extern TForm_keys* Form_keys;
