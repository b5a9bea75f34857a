#pragma once
#include "Forms.h"

class QPushButton;

// The about box: the program's name and version.
class TFormA : public TForm {
    Q_OBJECT
public:
    TFormA();
    QPushButton* ButtonOK;
    void cancel_() { close(); }

protected:
    void showEvent(QShowEvent* e) override;
};

extern TFormA* FormA;
