#pragma once
#include "Forms.h"

class QLineEdit;
class QListWidget;
class QPushButton;

// The node search window: finds nodes of the current tree file by a part of their text.
class TFormSearch : public TForm {
    Q_OBJECT
public:
    TFormSearch();
    QLineEdit* Edit1;
    QListWidget* ListFind;
    QPushButton* Button3;
};

extern TFormSearch* FormSearch;
