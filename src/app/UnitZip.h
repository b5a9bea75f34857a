#pragma once
#include "Forms.h"

class QPushButton;

// The archive window: zips the catalog folder into an archive and unzips one into it.
class TFormZip : public TForm {
    Q_OBJECT
public:
    TFormZip();
    QPushButton* ButtonZip;
    QPushButton* ButtonUnZip;
};

extern TFormZip* FormZip;
