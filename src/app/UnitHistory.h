#pragma once
#include "Forms.h"

#include <QStringList>

class QListWidget;
class QMenu;
class QPushButton;

// The history window: the catalog's list of node names from its "history" file.
class TFormHistory : public TForm {
    Q_OBJECT
public:
    TFormHistory();
    QListWidget* ListBoxH;
    QPushButton* ButtonUp;
    QPushButton* ButtonDown;
    QPushButton* ButtonClear;
    QMenu* PopupH; // "Delete the line"

    // Makes the node the selected line names the main window's current node; a line whose
    // node is gone leaves the list.
    void OpenEditor();
    void up();
    void down();
    void clear();
    void dellNode();
    // Keeps the last 50 lines and writes them as the catalog's "history" when they differ from
    // what was loaded.
    void FormClose();

    // The list of a catalog just loaded: the lines of its history file, or none when it has
    // none (a list belongs to the catalog it came from).
    void LoadHistory(const QString& path);
    QStringList Lines() const;

protected:
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    bool eventFilter(QObject* o, QEvent* e) override;

public:
    void reject() override;

private:
    QStringList loaded_; // the lines as the catalog's file holds them
};

extern TFormHistory* FormHistory;
