#pragma once
#include "Forms.h"

class QCheckBox;
class QListWidget;
class QPushButton;

// The catalog chooser: the list of known catalogs kept in the file "dir" beside the program.
// Its caption doubles as the chosen entry.
class TFormDir : public TForm {
    Q_OBJECT
public:
    TFormDir();
    QListWidget* memo1;
    QCheckBox* CheckBox1;
    QPushButton* Button1;
    QPushButton* ButtonSelect;
    QPushButton* Button3;
    QPushButton* Button4;
    QPushButton* ButtonDir;

    void FormCreate();
    void FormDestroy() override;
    void OK();
    void CheckBox1Click();

protected:
    void showEvent(QShowEvent* e) override;

public:
    void reject() override;
};

extern TFormDir* FormDir;
