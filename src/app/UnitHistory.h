#pragma once
#include "Forms.h"

class QListWidget;
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
};

extern TFormHistory* FormHistory;
