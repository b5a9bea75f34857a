#pragma once
#include "Forms.h"

class QListWidget;
class QMenu;
class QToolButton;
class TImageList;

// The icon palette: a borderless strip with the node icons that stays on top. Its image list IL
// is also the main window's tree image list.
class TFormICO : public TForm {
    Q_OBJECT
public:
    TFormICO();
    const TImageList& IL;
    QListWidget* LV1;
    QMenu* PopupLV1; // "close"
    QToolButton* ButtonClose;

    // Shows the palette where it covers neither the menu bar nor the tool bar of the main window.
    void ShowBeside(QWidget* mainWindow, QWidget* below);

    // Gives the main tree's selected node the clicked icon and writes the tree at once.
    void LV1Click();
    void close1Click() { close(); }
};

extern TFormICO* FormICO;
