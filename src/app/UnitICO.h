#pragma once
#include "Forms.h"

class QListWidget;
class QMenu;
class TImageList;

// The icon palette: a borderless strip at the top of the screen with the node icons. Its image
// list IL is also the main window's tree image list.
class TFormICO : public TForm {
    Q_OBJECT
public:
    TFormICO();
    const TImageList& IL;
    QListWidget* LV1;
    QMenu* PopupLV1; // "close"

    // Gives the main tree's selected node the clicked icon and writes the tree at once.
    void LV1Click();
    void close1Click() { close(); }
};

extern TFormICO* FormICO;
