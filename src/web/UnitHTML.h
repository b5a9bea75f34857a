#pragma once
#include "app/Forms.h"

#include <QString>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QTextDocument;

// The site generator window: publishes the current catalog's tree as a small static web site.
// The work itself is site::MakeSite (SiteGenerator.h); the window supplies the fields.
class TFormHTML : public TForm {
    Q_OBJECT
public:
    TFormHTML();

    QLineEdit* Edit1;   // output folder
    QLineEdit* EditKey; // keywords meta text
    QLineEdit* EditDes; // description meta text
    QCheckBox* CheckBox1; // "Open report"
    QCheckBox* CheckBox2; // "Change Russian letters to English"
    QPushButton* Button1; // "HTML"
    QPushButton* Button2; // "Cancel"
    QTextDocument* Editor; // hidden: reads one note at a time

    // The name buffer of ChangeLiters: filled by the caller, transliterated in place.
    QString NameBuffer;

    void FormCreate();
    // Fills the fields from the current catalog; runs when the window is shown.
    void FormActivate();
    void MakeHTML();
    // Transliterates NameBuffer while "Change Russian letters to English" is ticked.
    void ChangeLiters();
    void Button2Click();
    // Writes changed keywords and description back to the catalog they were read from.
    void FormClose();
    void FormDestroy() override;

protected:
    void showEvent(QShowEvent* e) override;
    void done(int r) override;

private:
    QString readCatalog_; // where the fields were read from
    QString readKey_;
    QString readDes_;
    bool filled_ = false;
};

extern TFormHTML* FormHTML;
