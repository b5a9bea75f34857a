#pragma once
#include "app/Forms.h"

// The category filter: the catalog's pages listed by the categories of their headers.
class TFormFiltr : public TForm {
    Q_OBJECT
public:
    TFormFiltr();
    QString FiltrPath;
};

extern TFormFiltr* FormFiltr;
