#pragma once
#include "app/Forms.h"

class QPlainTextEdit;

// The stop list window: the address prefixes that link lists leave out, one a line, in the
// catalog's file "StopList" (Windows-1251, CR LF).
class TFormStopList : public TForm {
    Q_OBJECT
public:
    TFormStopList();
    QPlainTextEdit* MemoStop;
    // 1 while the memo holds changes not yet saved; the page header editor sets it too.
    int StopListChanged = 0;

    // Saves a pending change to the file it belongs to, then loads the current catalog's list
    // (a missing file leaves the memo as it is). A failed save keeps the memo and loads nothing.
    void LoadStopList();
    // Saves the memo when changed. False when the list is not safe on disk (the user was told).
    bool SaveStopList();
    void MemoStopKeyPress(const QString& typed);
    void FormCreate();
    void FormClose();
    void FormDestroy() override;
    // The file the memo belongs to: where it was loaded from, or where a save creates it.
    QString StopListFile() const { return file_; }

    void reject() override;

protected:
    void showEvent(QShowEvent* e) override;
    bool eventFilter(QObject* o, QEvent* e) override;

private:
    QString currentCatalogFile() const;
    QString file_;
    bool loading_ = false;
};

extern TFormStopList* FormStopList;
