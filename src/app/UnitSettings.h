#pragma once
#include "Forms.h"

class QTreeWidget;

// The settings window: created at start-up and never shown.
class TFormSettings : public TForm {
    Q_OBJECT
public:
    TFormSettings();
    QTreeWidget* TreeView1;
};

extern TFormSettings* FormSettings;
