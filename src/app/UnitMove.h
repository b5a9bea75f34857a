#pragma once
#include "Forms.h"

class QTreeWidget;
class QPushButton;

// The node manager: moves a node with its file into another catalog.
class TFormMove : public TForm {
    Q_OBJECT
public:
    TFormMove();
    QTreeWidget* TV;
    QPushButton* Panel1;
};

extern TFormMove* FormMove;
