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

    // Shows the palette where it covers no menu bar and no tool bar of the main window: beside it,
    // or over the top of its tree.
    void ShowBeside(QWidget* mainWindow, QWidget* tree);

    // Gives the main tree's selected node the clicked icon and writes the tree at once.
    void LV1Click();
    void close1Click() { close(); }

private:
    // The palette's size when it may be at most `width` wide: its icons in as many rows as needed.
    QSize fittedTo(int width) const;
};

extern TFormICO* FormICO;
