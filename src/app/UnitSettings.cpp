#include "UnitSettings.h"

#include <QLabel>
#include <QTreeWidget>
#include <QVBoxLayout>

TFormSettings* FormSettings = nullptr;

TFormSettings::TFormSettings() : TForm(QStringLiteral("FormSettings"))
{
    setWindowTitle(QStringLiteral("FormSettings"));
    auto* v = new QVBoxLayout(this);
    auto* label = new QLabel(QStringLiteral("Settings"), this);
    QFont f = label->font();
    f.setBold(true);
    label->setFont(f);
    TreeView1 = new QTreeWidget(this);
    TreeView1->setObjectName(QStringLiteral("TreeView1"));
    TreeView1->setHeaderHidden(true);
    v->addWidget(label);
    v->addWidget(TreeView1);
}
