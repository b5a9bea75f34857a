// The site generator window: its fields, the HTML button and the keywords it keeps.
#include "UnitHTML.h"

#include "SiteGenerator.h"
#include "app/UnitSlova.h"
#include "platform/dialogs/Dialogs.h"
#include "platform/files/FileNames.h"
#include "platform/shell/Launcher.h"
#include "platform/text/CodePage.h"
#include "platform/text/LineList.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QTextDocument>

TFormHTML* FormHTML = nullptr;

namespace {
// Line 0 of a catalog file, empty when the file is missing or empty.
QString firstLine(const QString& catalog, const QString& name)
{
    const QString p = platform::resolveIn(catalog, name);
    QStringList lines;
    if (!QFileInfo(p).isFile() || !platform::loadLines1251(p, lines))
        return QString();
    return lines.value(0);
}

void showError(const QString& text)
{
    platform::dialogs().message(text, QString(), platform::MsgButtons::Ok, platform::MsgIcon::Error);
}
} // namespace

TFormHTML::TFormHTML() : TForm(QStringLiteral("FormHTML"))
{
    auto label = [this](const QString& text, int y) {
        auto* l = new QLabel(text, this);
        l->move(8, y);
        l->adjustSize();
    };
    auto edit = [this](const char* name, int y) {
        auto* e = new QLineEdit(this);
        e->setObjectName(QLatin1String(name));
        e->setGeometry(8, y, 403, 23);
        return e;
    };
    label(QStringLiteral("Catalog"), 8);
    Edit1 = edit("Edit1", 26);
    label(QStringLiteral("keywords"), 56);
    EditKey = edit("EditKey", 74);
    label(QStringLiteral("Description"), 104);
    EditDes = edit("EditDes", 122);
    CheckBox1 = new QCheckBox(QStringLiteral("Open report"), this);
    CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
    CheckBox1->setGeometry(8, 154, 300, 20);
    CheckBox1->setChecked(true);
    CheckBox2 = new QCheckBox(QStringLiteral("Change Russian letters to English"), this);
    CheckBox2->setObjectName(QStringLiteral("CheckBox2"));
    CheckBox2->setGeometry(8, 178, 300, 20);
    CheckBox2->setChecked(true);
    Button1 = new QPushButton(QStringLiteral("HTML"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(248, 210, 75, 25);
    Button2 = new QPushButton(QStringLiteral("Cancel"), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button2->setGeometry(336, 210, 75, 25);
    Editor = new QTextDocument(this);
    Editor->setObjectName(QStringLiteral("Editor"));
    connect(Button1, &QPushButton::clicked, this, &TFormHTML::MakeHTML);
    connect(Button2, &QPushButton::clicked, this, &TFormHTML::Button2Click);
    FormCreate();
}

void TFormHTML::FormCreate()
{
    setWindowTitle(QStringLiteral("HTML project maker form"));
    setFixedSize(Button2->x() + Button2->width() + 40, Button2->y() + Button2->height() + 40);
    centreOnScreen();
}

void TFormHTML::showEvent(QShowEvent* e)
{
    // Filled when shown, not at every activation: a switch to the main window and back keeps
    // what the user typed.
    if (!e->spontaneous() || !filled_)
        FormActivate();
    TForm::showEvent(e);
}

void TFormHTML::FormActivate()
{
    if (!FormSlova)
        return;
    filled_ = true;
    readCatalog_ = FormSlova->ProjectPath;
    Edit1->setText(readCatalog_ + QStringLiteral("html/"));
    readKey_ = firstLine(readCatalog_, QStringLiteral("keywords"));
    readDes_ = firstLine(readCatalog_, QStringLiteral("description"));
    EditKey->setText(readKey_);
    EditDes->setText(readDes_);
}

void TFormHTML::ChangeLiters()
{
    if (CheckBox2->isChecked())
        NameBuffer = site::ChangeLiters(NameBuffer);
}

void TFormHTML::MakeHTML()
{
    // With no catalog loaded the tree is empty: the site would be replaced by an empty index.
    if (!FormSlova || FormSlova->NoCatalog) {
        showError(QStringLiteral("No catalog is open: choose a catalog first. The site was not made."));
        return;
    }
    // The site is made from the files: what the editors hold unsaved goes there first.
    if (!FormSlova->SaveOpenEditors())
        return;
    site::SiteSettings s;
    // The pages come from the catalog whose tree is shown.
    s.catalog = FormSlova->ProjectPath;
    s.outDir = Edit1->text();
    s.keywords = EditKey->text();
    s.description = EditDes->text();
    s.transliterate = CheckBox2->isChecked();
    s.clearLeftovers = !FormSlova->ReadOnlyMode();
    const site::SiteResult r = site::MakeSite(site::TreeEntries(FormSlova->Tree1), s, Editor);
    Editor->clear();
    if (!r.ok) {
        showError(r.error);
        return;
    }
    if (CheckBox1->isChecked())
        platform::launcher().openDocument(r.outDir + QStringLiteral("index.html"));
    close();
}

void TFormHTML::Button2Click() { close(); }

void TFormHTML::done(int r)
{
    // Every way of closing passes here: Cancel, the close box, Esc and the end of MakeHTML.
    FormClose();
    TForm::done(r);
}

void TFormHTML::FormClose()
{
    if (!filled_ || readCatalog_.isEmpty())
        return;
    const QString key = EditKey->text();
    const QString des = EditDes->text();
    if (key != readKey_) {
        // The file is also the search words list: every line after the first stays as it is.
        const QString path = platform::resolveIn(readCatalog_, QStringLiteral("keywords"));
        QList<QByteArray> lines;
        if (QFileInfo(path).isFile())
            platform::loadLines(path, lines);
        bool ok = true;
        const QByteArray first = platform::toCp1251(key, &ok);
        if (lines.isEmpty())
            lines.append(first);
        else
            lines[0] = first;
        QString error;
        if (!ok)
            showError(QStringLiteral("The keywords hold characters that cannot be written to %1.").arg(path));
        else if (!platform::saveLines(path, lines, &error))
            showError(error);
        else
            readKey_ = key;
    }
    if (des != readDes_) {
        const QString path = platform::resolveIn(readCatalog_, QStringLiteral("description"));
        QString error;
        if (!platform::canEncode(platform::CodePage::Windows1251, des))
            showError(QStringLiteral("The description holds characters that cannot be written to %1.").arg(path));
        else if (!platform::saveLines1251(path, {des}, &error))
            showError(error);
        else
            readDes_ = des;
    }
}

void TFormHTML::FormDestroy()
{
    if (isVisible())
        FormClose();
}
