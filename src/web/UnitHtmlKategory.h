#pragma once
#include "app/Forms.h"

// The page header editor: the header block of the current node's page as a list of lines.
class TFormHTMLKategory : public TForm {
    Q_OBJECT
public:
    TFormHTMLKategory();
    // Saves the header block of the page shown before a node change.
    void HTMLSave() {}
    // Loads the header block of the current page.
    void LoadHTMLList() {}
};

extern TFormHTMLKategory* FormHTMLKategory;
