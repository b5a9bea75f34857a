#pragma once
#include "app/Forms.h"

class QAction;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;

// The page header editor: the header block of the current node's page as a list of lines,
// edited, added to and written back in front of the page's body.
class TFormHTMLKategory : public TForm {
    Q_OBJECT
public:
    TFormHTMLKategory();

    QLabel* LabelKategory; // "File kategory"
    QListWidget* ListKategory;
    QLabel* LabelEdit; // "Edit"
    QLineEdit* EditKategory;
    QMenu* PopupMenu1;
    QAction* Downloadallurls1;
    QAction* UserDescription1;
    QAction* AddUserKeywords1;
    QAction* ReLoad1;
    QAction* Userkategory1;
    QAction* Stoplist1;
    QAction* N1; // "--------------"
    QAction* Delete1;
    QAction* Hidepage1;
    QAction* reeKategory1;

    // 1 while the list holds changes not yet written to the page.
    int HeaderChanged = 0;
    // The value of the loaded page's last "urlfordownload" line, or empty.
    QString StopAddress;

    // Loads the current page's header (saving pending changes first; a failed save keeps the
    // list as it is). The page is CurrentNodeText with ".shtm", ".html" or ".htm" in the folder
    // of CurrentFile, the last of them that exists.
    void LoadHTMLList();
    // Writes the list in front of the body of the page it was loaded from, when changed.
    // False when the header is not safe on disk (the user was told; the list keeps its changes).
    bool HTMLSave();
    // The file LoadHTMLList loaded (or would create); empty when nothing was loaded.
    QString LoadedFile() const { return file_; }

    void Dubli();
    void FormCreate();
    void FormResize();
    void FormDestroy() override;

    void UserDescription1Click();
    void AddUserKeywords1Click();
    void ReLoad1Click();
    void Userkategory1Click();
    void Stoplist1Click();
    void Delete1Click();
    void Hidepage1Click();
    void reeKategory1Click();

    void ListKategoryDblClick();
    void EditKategoryAccept();
    void EditKategoryCancel();
    void reject() override;

protected:
    bool event(QEvent* e) override;
    bool eventFilter(QObject* o, QEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;

private:
    void addLine(const QByteArray& line);
    void endEdit();
    QString file_;
    bool fileExisted_ = false;
    // The lines of a save that failed: activation does not try them again (the closed message
    // box activates this window, which would show the message again and again).
    bool saveFailed_ = false;
    QStringList failedLines_;
    QStringList listLines() const;
};

extern TFormHTMLKategory* FormHTMLKategory;
