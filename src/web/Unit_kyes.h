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
    // The value of a key in a page's header, in lower case (see PageHeader.h); Value is left as
    // the caller passed it when the file is missing or holds no such line.
    void FindKomand(QObject* Sender, const QString& FileName, const QString& Key, QString& Value);
};

extern TForm_keys* Form_keys;
