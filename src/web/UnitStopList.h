#pragma once
#include "app/Forms.h"

class QPlainTextEdit;

// The stop list window: the address prefixes that link lists leave out.
class TFormStopList : public TForm {
    Q_OBJECT
public:
    TFormStopList();
    QPlainTextEdit* MemoStop;
    int StopListChanged = 0;
    void LoadStopList() {}
};

extern TFormStopList* FormStopList;
