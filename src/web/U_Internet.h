#pragma once
#include "app/Forms.h"

class QAction;
class QLineEdit;
class QListWidget;
class QMenuBar;
class QPushButton;

namespace platform {
class BrowserControl;
}

// The link list window: every link of one page, filtered through the catalog's stop list, and
// download task files for the links kept.
class TFormI : public TForm {
    Q_OBJECT
public:
    TFormI();
    QLineEdit* EditURL; // "URL adress"
    QListWidget* LB_url; // "URL for download"
    QLineEdit* EditURL1;
    QListWidget* LB_stop; // "Stop list"
    QLineEdit* EditStopURL;
    QPushButton* ButtonToStop;   // ">>"
    QPushButton* ButtonFromStop; // "<<"
    QPushButton* ButtonMask;     // "This mask only"
    QMenuBar* MainMenu1;
    QAction* DefineURLs1;
    QAction* Makefiles1;
    QAction* ShowDownloadmanager1;
    platform::BrowserControl* WB1;
    QString LinksPath;

    // "Define URLs": loads the page named by EditURL; its links are collected when it is loaded.
    void ButtonLoadLinksClick();
    // Collects the loaded page's links through the stop list as it is on disk now.
    void CollectLinks();
    void MakeFilesClick();
    // Writes a task file for one address; returns its full name, empty when it failed.
    QString MakeTaskFile(const QString& address);
    void ToStopClick();
    void FromStopClick();
    void MaskClick();
    QString StopListFile() const;

protected:
    bool eventFilter(QObject* o, QEvent* e) override;

private:
    void showStopEntries(const QStringList& entries, int select);
    bool changeStop(const QString& remove, const QString& add);
    void editKey(QLineEdit* edit, QListWidget* list, int key);
    QStringList items(QListWidget* list) const;

    bool localPage_ = false; // the page loaded is the user's own, not one from the web
};

extern TFormI* FormI;
