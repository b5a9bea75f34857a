#pragma once
#include "app/Forms.h"

class QLineEdit;

// The link list window: every link of one page, filtered through the stop list.
class TFormI : public TForm {
    Q_OBJECT
public:
    TFormI();
    QLineEdit* EditURL;
    QString LinksPath;
};

extern TFormI* FormI;
