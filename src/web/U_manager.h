#pragma once
#include "app/Forms.h"

// The download manager: fetches the catalog's queued pages.
class TFormM : public TForm {
    Q_OBJECT
public:
    TFormM();
    QString DownloadDir;
};

extern TFormM* FormM;
