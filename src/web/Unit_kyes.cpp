#include "Unit_kyes.h"

#include "PageHeader.h"
#include "platform/settings/SettingsStore.h"

#include <QCheckBox>
#include <QVBoxLayout>

TForm_keys* Form_keys = nullptr;

TForm_keys::TForm_keys() : TForm(QStringLiteral("Form_keys"))
{
    setWindowTitle(QStringLiteral("Search words form"));
    auto* v = new QVBoxLayout(this);
    CheckBox1 = new QCheckBox(QStringLiteral("Do not show this form at start"), this);
    CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
    v->addWidget(CheckBox1);
    CheckBox1->setChecked(platform::SettingsStore().readBool(QStringLiteral("ShowWordsForm"), false));
    connect(CheckBox1, &QCheckBox::clicked, this,
            [this] { platform::SettingsStore().writeBool(QStringLiteral("ShowWordsForm"), CheckBox1->isChecked()); });
}

void TForm_keys::FindKomand(QObject*, const QString& FileName, const QString& Key, QString& Value)
{
    ::FindKomand(FileName, Key, Value);
}
