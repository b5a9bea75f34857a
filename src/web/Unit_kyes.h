#pragma once
#include "app/Forms.h"

class QCheckBox;

// The search words window: search-engine addresses and download tasks from the keyword list.
class TForm_keys : public TForm {
    Q_OBJECT
public:
    TForm_keys();
    QCheckBox* CheckBox1;
    // Set by the page tools before they call Check_html_files.
    QString UrlOrTaskName;
    int LastLineOnly = 0;
    void Check_html_files() {}
};

extern TForm_keys* Form_keys;
