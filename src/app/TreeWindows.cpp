// The main window's commands that show the small tree windows: node search, icon palette,
// history, node manager and about box. Menus, tool buttons and keys all call these.
#include "About.h"
#include "UnitHistory.h"
#include "UnitICO.h"
#include "UnitMove.h"
#include "UnitSearch.h"
#include "UnitSlova.h"
#include "editor/REMain.h"

#include <QLineEdit>
#include <QListWidget>
#include <QTreeWidget>

void TFormSlova::Find_node()
{
    if (!FormSearch || Tree1->topLevelItemCount() == 0)
        return;
    FormSearch->Edit1->clear();
    FormSearch->ListFind->clear();
    FormSearch->show();
    FormSearch->move(pos().x() + 10, FormSearch->pos().y());
    if (FormEdit && EditorShown == 1)
        FormEdit->Close();
}

void TFormSlova::ICO()
{
    // The editor is a child of the editor panel here, so the palette does not move it.
    if (FormICO)
        FormICO->ShowBeside(this, Tree1);
}

void TFormSlova::ShowHistory()
{
    if (FormHistory)
        FormHistory->show();
}

void TFormSlova::RestructFiles()
{
    if (!FormMove)
        return;
    if (FormEdit && EditorShown == 1)
        FormEdit->Close();
    PanelWeb->hide();
    FormMove->show();
}

void TFormSlova::Author()
{
    if (FormA)
        FormA->show();
}
