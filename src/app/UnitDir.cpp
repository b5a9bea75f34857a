#include "UnitDir.h"

#include "ProgramPaths.h"
#include "UnitSlova.h"
#include "platform/files/FileNames.h"
#include "platform/settings/SettingsStore.h"
#include "platform/text/LineList.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

TFormDir* FormDir = nullptr;

namespace {
// The catalog folder of a list entry. An absolute entry ("/..." here, or one with a drive
// letter) is used as it is; any other counts from the program folder, also one that begins
// with a backslash.
QString entryPath(const QString& entry)
{
    QString e = entry;
    e.replace('\\', '/');
    if (entry.startsWith('/') || app::hasDriveLetter(e))
        return app::catalogPath(e);
    while (e.startsWith('/'))
        e.remove(0, 1);
    return app::catalogPath(FormSlova->ProgramDir + e);
}
} // namespace

TFormDir::TFormDir() : TForm(QStringLiteral("FormDir"))
{
    setWindowFlag(Qt::WindowCloseButtonHint, false);
    auto* v = new QVBoxLayout(this);
    memo1 = new QListWidget(this);
    memo1->setObjectName(QStringLiteral("memo1"));
    v->addWidget(memo1);
    auto* h = new QHBoxLayout;
    Button1 = new QPushButton(QStringLiteral("Add Dir"), this);
    ButtonSelect = new QPushButton(QStringLiteral("Select"), this);
    Button3 = new QPushButton(QStringLiteral("Cancel"), this);
    Button4 = new QPushButton(QStringLiteral("OK"), this);
    ButtonDir = new QPushButton(QStringLiteral("NewDir"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    ButtonSelect->setObjectName(QStringLiteral("ButtonSelect"));
    Button3->setObjectName(QStringLiteral("Button3"));
    Button4->setObjectName(QStringLiteral("Button4"));
    ButtonDir->setObjectName(QStringLiteral("ButtonDir"));
    ButtonSelect->setEnabled(false);
    Button3->setEnabled(false);
    ButtonDir->setEnabled(false);
    for (QPushButton* b : {Button1, ButtonSelect, Button3, Button4, ButtonDir})
        h->addWidget(b);
    v->addLayout(h);
    CheckBox1 = new QCheckBox(QStringLiteral("Do not show this form at stat"), this);
    CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
    v->addWidget(CheckBox1);
    resize(420, 300);
    Button4->setDefault(true);

    connect(memo1, &QListWidget::itemClicked, this, [this](QListWidgetItem* it) { setWindowTitle(it->text()); });
    connect(memo1, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem*) { OK(); });
    connect(Button4, &QPushButton::clicked, this, &TFormDir::OK);
    connect(CheckBox1, &QCheckBox::clicked, this, &TFormDir::CheckBox1Click);
}

void TFormDir::FormCreate()
{
    setWindowTitle(QStringLiteral("Project catalog form"));
    const QRect s = QGuiApplication::primaryScreen()->geometry();
    move((s.width() - width()) / 2, (s.height() - height()) / 4 * 2);
    platform::SettingsStore reg;
    CheckBox1->setChecked(reg.readBool(QStringLiteral("ShowDirForm"), true));
    const QString list = platform::resolveIn(FormSlova->ProgramDir, QStringLiteral("dir"));
    QStringList lines;
    if (QFileInfo::exists(list))
        platform::loadLines1251(list, lines);
    memo1->clear();
    memo1->addItems(lines);
    if (memo1->count() == 0)
        memo1->addItem(FormSlova->ProgramDir + QStringLiteral("Project1/"));
}

void TFormDir::FormDestroy()
{
    if (FormSlova->ReadOnlyMode())
        return;
    QStringList lines;
    for (int i = 0; i < memo1->count(); ++i)
        lines.append(memo1->item(i)->text());
    const QString list = platform::resolveIn(FormSlova->ProgramDir, QStringLiteral("dir"));
    QStringList stored;
    if (QFileInfo::exists(list) && platform::loadLines1251(list, stored) && stored == lines)
        return; // unchanged: no need to touch the file
    FormSlova->WriteCatalogFile(list, lines);
}

void TFormDir::CheckBox1Click()
{
    platform::SettingsStore reg;
    reg.writeBool(QStringLiteral("ShowDirForm"), CheckBox1->isChecked());
    reg.writeString(QStringLiteral("path"), FormSlova->ProjectPath);
}

void TFormDir::OK()
{
    QString entry = windowTitle();
    if (entry.isEmpty())
        return;
    FormSlova->ProjectPath = entryPath(entry);
    FormSlova->CurrentIndex = 0;
    CheckBox1Click();
    FormSlova->LoadMenue();
    close();
}

void TFormDir::showEvent(QShowEvent* e)
{
    setWindowTitle(FormSlova->ProjectPath);
    int found = -1;
    for (int i = 0; i < memo1->count(); ++i)
        if (entryPath(memo1->item(i)->text()) == FormSlova->ProjectPath)
            found = i;
    memo1->setCurrentRow(found >= 0 ? found : 0);
    TForm::showEvent(e);
}

void TFormDir::reject()
{
    // Every way of closing passes here: Esc, the window manager's close (through closeEvent) and OK.
    setWindowTitle(QStringLiteral("Project form"));
    CheckBox1Click();
    TForm::reject();
    // Closed without OK during a catalog switch: the catalog left comes back, so the tree is
    // never left empty and belonging to no catalog.
    if (FormSlova->NoCatalog)
        FormSlova->LoadMenue();
}
