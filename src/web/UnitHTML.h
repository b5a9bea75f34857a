#pragma once
#include "app/Forms.h"

// The site generator: a small static web site made from the tree.
class TFormHTML : public TForm {
    Q_OBJECT
public:
    TFormHTML();

};

extern TFormHTML* FormHTML;
