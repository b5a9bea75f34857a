// The search words window: the list of search phrases, engine addresses and task files.
#include "Unit_kyes.h"

#include "PageHeader.h"
#include "TaskFiles.h"
#include "U_manager.h"
#include "app/UnitSlova.h"
#include "platform/dialogs/Dialogs.h"
#include "platform/files/FileNames.h"
#include "platform/settings/SettingsStore.h"
#include "platform/shell/Launcher.h"
#include "platform/text/LineList.h"

#include <QCheckBox>
#include <QDateTime>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSet>
#include <QVBoxLayout>

TForm_keys* Form_keys = nullptr;

namespace {
const QString kGoogleHost = QStringLiteral("www.google.com");
const QString kYandexHost = QStringLiteral("yandex.ru");
const QString kAltaVistaHost = QStringLiteral("www.altavista.com");

void showError(const QString& text)
{
    platform::dialogs().message(text, QString(), platform::MsgButtons::Ok, platform::MsgIcon::Error);
}
} // namespace

QString TForm_keys::GooglePrefix() { return QStringLiteral("http://") + kGoogleHost + QStringLiteral("/search?q="); }

TForm_keys::TForm_keys() : TForm(QStringLiteral("Form_keys"))
{
    setWindowTitle(QStringLiteral("Search words form"));
    resize(360, 420);
    auto* v = new QVBoxLayout(this);
    MainMenu1 = new QMenuBar(this);
    MainMenu1->setObjectName(QStringLiteral("MainMenu1"));
    v->setMenuBar(MainMenu1);
    QMenu* options = MainMenu1->addMenu(QStringLiteral("Options"));
    Downloadmanager1 = options->addAction(QStringLiteral("Download manager"), this, &TForm_keys::Check_html_files);
    Downloadmanager1->setObjectName(QStringLiteral("Downloadmanager1"));
    Downloadmanager1->setEnabled(false);
    Makefiles1 = options->addAction(QStringLiteral("Make files"), this, &TForm_keys::Check_html_files);
    Makefiles1->setObjectName(QStringLiteral("Makefiles1"));
    Openlistontexteditor1 = options->addAction(QStringLiteral("Open list on text editor"), this, &TForm_keys::Openlistontexteditor1Click);
    Openlistontexteditor1->setObjectName(QStringLiteral("Openlistontexteditor1"));
    QMenu* engines = MainMenu1->addMenu(QStringLiteral("Search engine"));
    Google1 = engines->addAction(QStringLiteral("Google"), this, [this] { Preset(GooglePrefix(), QString()); });
    Yandex1 = engines->addAction(QStringLiteral("Yandex"), this, [this] {
        Preset(QStringLiteral("http://") + kYandexHost + QStringLiteral("/yandsearch?text="), QStringLiteral("&stype=www&nl=0"));
    });
    AltaVista1 = engines->addAction(QStringLiteral("AltaVista"), this, [this] {
        Preset(QStringLiteral("http://") + kAltaVistaHost + QStringLiteral("/web/results?q="), QStringLiteral("&kgs=0&kls=0"));
    });
    Google1->setObjectName(QStringLiteral("Google1"));
    Yandex1->setObjectName(QStringLiteral("Yandex1"));
    AltaVista1->setObjectName(QStringLiteral("AltaVista1"));

    LabelTitle = new QLabel(QStringLiteral("Search words"), this);
    v->addWidget(LabelTitle);
    ListBox1 = new QListWidget(this);
    ListBox1->setObjectName(QStringLiteral("ListBox1"));
    ListBox1->setContextMenuPolicy(Qt::CustomContextMenu);
    v->addWidget(ListBox1, 1);
    auto* l1 = new QLabel(QStringLiteral("Search engine mask"), this);
    v->addWidget(l1);
    EditS1 = new QLineEdit(this);
    EditS1->setObjectName(QStringLiteral("EditS1"));
    v->addWidget(EditS1);
    auto* l2 = new QLabel(QStringLiteral("+ Search words"), this);
    v->addWidget(l2);
    EditS2 = new QLineEdit(this);
    EditS2->setObjectName(QStringLiteral("EditS2"));
    v->addWidget(EditS2);
    Panel1 = new QWidget(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setMinimumHeight(30);
    Edit1 = new QLineEdit(Panel1);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    ButtonMakeFile = new QPushButton(QStringLiteral("Make file"), Panel1);
    ButtonMakeFile->setObjectName(QStringLiteral("ButtonMakeFile"));
    ButtonMakeFile->setAutoDefault(false);
    connect(ButtonMakeFile, &QPushButton::clicked, this, &TForm_keys::ButtonMakeFileClick);
    v->addWidget(Panel1);
    CheckBox1 = new QCheckBox(QStringLiteral("Do not show this form at start"), this);
    CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
    v->addWidget(CheckBox1);

    PopupMenu1 = new QMenu(this);
    Insertline1 = PopupMenu1->addAction(QStringLiteral("Insert line"), this, &TForm_keys::Insertline1Click);
    MovelineUp1 = PopupMenu1->addAction(QStringLiteral("Move line Up"), this, &TForm_keys::MovelineUp1Click);
    MovelineDown1 = PopupMenu1->addAction(QStringLiteral("Move line Down"), this, &TForm_keys::MovelineDown1Click);
    Delleteline1 = PopupMenu1->addAction(QStringLiteral("Dellete line"), this, &TForm_keys::Delleteline1Click);
    Editline1 = PopupMenu1->addAction(QStringLiteral("Edit line"), this, &TForm_keys::Editline1Click);
    connect(ListBox1, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& p) { PopupMenu1->popup(ListBox1->viewport()->mapToGlobal(p)); });
    ListBox1->installEventFilter(this);
    Edit1->installEventFilter(this);
    Panel1->installEventFilter(this);

    // Creation: settings, placement, the list, the name generator.
    platform::SettingsStore reg;
    CheckBox1->setChecked(reg.readBool(QStringLiteral("ShowWordsForm"), false));
    connect(CheckBox1, &QCheckBox::clicked, this,
            [this] { platform::SettingsStore().writeBool(QStringLiteral("ShowWordsForm"), CheckBox1->isChecked()); });
    EditS1->setText(reg.readString(QStringLiteral("SearchWords1"), GooglePrefix()));
    EditS2->setText(reg.readString(QStringLiteral("SearchWords2"), QString()));
    LastLineOnly = 0;
    if (FormSlova)
        move(FormSlova->width(), 0);
    tasks::seedRandom(quint32(QDateTime::currentMSecsSinceEpoch()));
    ReRead();
}

void TForm_keys::FindKomand(QObject*, const QString& FileName, const QString& Key, QString& Value)
{
    ::FindKomand(FileName, Key, Value);
}

void TForm_keys::MakeURL(QString& line) const { line = tasks::MakeURL(line, EditS1->text(), EditS2->text()); }

void TForm_keys::Preset(const QString& prefix, const QString& suffix)
{
    EditS1->setText(prefix);
    EditS2->setText(suffix);
}

bool TForm_keys::catalogLoaded() const { return FormSlova && !FormSlova->NoCatalog && !FormSlova->ProjectPath.isEmpty(); }

QStringList TForm_keys::listLines() const
{
    QStringList lines;
    for (int i = 0; i < ListBox1->count(); ++i)
        lines << ListBox1->item(i)->text();
    return lines;
}

bool TForm_keys::saveList()
{
    if (file_.isEmpty())
        return false;
    const QStringList lines = listLines();
    QString error;
    saveFailed_ = false;
    if (!platform::saveLines1251(file_, lines, &error)) {
        saveFailed_ = true;
        failedLines_ = lines;
        showError(QStringLiteral("The search words were not saved.\n%1").arg(error));
        return false;
    }
    changed_ = false;
    return true;
}

bool TForm_keys::SaveU()
{
    if (!saveList())
        return false;
    QStringList lines;
    if (!platform::loadLines1251(file_, lines))
        return false;
    for (QString& l : lines)
        MakeURL(l);
    QString error;
    const QString urls = platform::resolveIn(QFileInfo(file_).absolutePath() + QLatin1Char('/'), QStringLiteral("UrlsForDownload"));
    if (!platform::saveLines1251(urls, lines, &error)) {
        showError(error);
        return false;
    }
    return true;
}

void TForm_keys::ReRead()
{
    // Pending moves and deletions go to the file the list came from before anything is read.
    if (changed_ && !saveList())
        return;
    if (!catalogLoaded())
        return;
    file_ = platform::resolveIn(FormSlova->ProjectPath, QStringLiteral("keywords"));
    ListBox1->clear();
    QStringList lines;
    if (QFileInfo(file_).isFile() && platform::loadLines1251(file_, lines))
        ListBox1->addItems(lines);
    changed_ = false;
}

void TForm_keys::Insertline1Click()
{
    const QString text = Edit1->text();
    const QString bad = charsOutside1251(text);
    if (!bad.isEmpty()) {
        showError(QStringLiteral("The line cannot be kept in the search words: Windows-1251 has no code for %1").arg(bad));
        return;
    }
    ReRead();
    if (file_.isEmpty())
        return;
    ListBox1->addItem(text);
    Edit1->clear();
    SaveU();
}

void TForm_keys::MovelineUp1Click()
{
    const int i = ListBox1->currentRow();
    if (i <= 0 || !ListBox1->currentItem()->isSelected())
        return;
    ListBox1->insertItem(i - 1, ListBox1->takeItem(i));
    ListBox1->setCurrentRow(i - 1);
    changed_ = true;
}

void TForm_keys::MovelineDown1Click()
{
    const int i = ListBox1->currentRow();
    if (i < 0 || i >= ListBox1->count() - 1 || !ListBox1->currentItem()->isSelected())
        return;
    ListBox1->insertItem(i + 1, ListBox1->takeItem(i));
    ListBox1->setCurrentRow(i + 1);
    changed_ = true;
}

void TForm_keys::Delleteline1Click()
{
    QListWidgetItem* it = ListBox1->currentItem();
    if (!it || !it->isSelected())
        return;
    delete it;
    changed_ = true;
    SaveU();
}

void TForm_keys::Editline1Click()
{
    QListWidgetItem* it = ListBox1->currentItem();
    if (!it || !it->isSelected())
        return;
    Edit1->setText(it->text());
    delete it;
    changed_ = true;
    SaveU();
}

void TForm_keys::Openlistontexteditor1Click()
{
    close();
    if (FormSlova)
        platform::launcher().startProgram(QStringLiteral("notepad.exe"),
                                          {platform::resolveIn(FormSlova->ProjectPath, QStringLiteral("keywords"))});
}

void TForm_keys::ButtonMakeFileClick()
{
    if (!catalogLoaded()) {
        showError(QStringLiteral("No catalog is loaded."));
        return;
    }
    Check_html_files();
    if (FormM)
        FormM->show();
    close();
}

void TForm_keys::Check_html_files()
{
    UrlOrTaskName.clear();
    runFailed_ = false;
    Downloadmanager1->setEnabled(true);
    if (!catalogLoaded()) {
        showError(QStringLiteral("No catalog is loaded."));
        runFailed_ = true;
        return;
    }
    const QString dir = FormSlova->ProjectPath;
    // The list belongs to the catalog shown: another catalog's pending lines go to their file.
    if (file_ != platform::resolveIn(dir, QStringLiteral("keywords")))
        ReRead();

    platform::ResolveScope scope; // the folder is listed once for all the names tried
    QSet<QString> known;
    for (const QString& page : tasks::pagesEndingWith(dir, {QStringLiteral("html"), QStringLiteral(".htm")}))
        known.insert(::FindKomand(page, QStringLiteral("DownloadURL")));

    const int first = LastLineOnly == 1 ? ListBox1->count() - 1 : 0;
    for (int i = qMax(0, first); i < ListBox1->count(); ++i) {
        const QString line = ListBox1->item(i)->text().trimmed();
        if (line.isEmpty())
            continue;
        QString address = line;
        if (line.left(4).toLower() == QLatin1String("url:"))
            address = line.mid(4);
        else
            MakeURL(address);
        if (known.contains(address.toLower()))
            continue;
        const QString text = tasks::wordsNameText(line);
        if (text.isEmpty())
            continue; // a blank name: this line gets no file, the others still do
        const QString base = tasks::uniqueBaseName(dir, text, true);
        QString error;
        if (!tasks::writeTaskFile(dir + base + QStringLiteral(".htm"), &line, address, &error)) {
            showError(error);
            runFailed_ = true;
            return;
        }
        platform::ResolveScope::noteCreated(dir + base + QStringLiteral(".htm"));
        UrlOrTaskName = base;
    }
    if (FormM)
        FormM->DownloadDir = dir;
}

QString TForm_keys::MakeTaskForUrl(const QString& address, bool* failed)
{
    if (failed)
        *failed = false;
    if (!catalogLoaded())
        return QString();
    if (file_ != platform::resolveIn(FormSlova->ProjectPath, QStringLiteral("keywords")))
        ReRead();
    ListBox1->addItem(QStringLiteral("url:") + address);
    changed_ = true;
    LastLineOnly = 1;
    Check_html_files();
    LastLineOnly = 0;
    if (failed)
        *failed = runFailed_;
    return UrlOrTaskName;
}

void TForm_keys::FormDestroy()
{
    if (changed_)
        saveList();
    platform::SettingsStore reg;
    reg.writeString(QStringLiteral("SearchWords1"), EditS1->text());
    reg.writeString(QStringLiteral("SearchWords2"), EditS2->text());
}

void TForm_keys::reject()
{
    if (changed_)
        saveList();
    TForm::reject();
}

bool TForm_keys::event(QEvent* e)
{
    if (e->type() == QEvent::WindowActivate && !(changed_ && saveFailed_ && failedLines_ == listLines()))
        ReRead();
    return TForm::event(e);
}

void TForm_keys::resizeEvent(QResizeEvent* e)
{
    TForm::resizeEvent(e);
    layoutPanel();
}

void TForm_keys::layoutPanel()
{
    const int w = Panel1->width();
    const int bw = ButtonMakeFile->sizeHint().width();
    ButtonMakeFile->setGeometry(w - bw - 5, 2, bw, ButtonMakeFile->sizeHint().height());
    Edit1->setGeometry(2, 2, qMax(10, w - bw - 25), Edit1->sizeHint().height());
}

bool TForm_keys::eventFilter(QObject* o, QEvent* e)
{
    if (e->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(e)->key();
        const bool enter = key == Qt::Key_Return || key == Qt::Key_Enter;
        if (o == Edit1 && enter) {
            Insertline1Click();
            return true;
        }
        if (o == ListBox1) {
            QListWidgetItem* it = ListBox1->currentItem();
            if (key == Qt::Key_Delete) {
                if (it && it->isSelected()) {
                    delete it;
                    changed_ = true;
                }
                return true;
            }
            if (enter) {
                if (it && it->isSelected())
                    Edit1->setText(it->text());
                return true;
            }
        }
    }
    if (o == Panel1 && e->type() == QEvent::Resize)
        layoutPanel();
    return TForm::eventFilter(o, e);
}
