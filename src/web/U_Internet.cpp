// The link list window: collecting a page's links, the stop list, task files for the links.
#include "U_Internet.h"

#include "LinkList.h"
#include "PageHeader.h"
#include "TaskFiles.h"
#include "U_manager.h"
#include "UnitStopList.h"
#include "app/UnitSlova.h"
#include "platform/dialogs/Dialogs.h"
#include "platform/files/FileNames.h"
#include "platform/settings/SettingsStore.h"
#include "platform/web/BrowserControl.h"

#include <QAction>
#include <QFileInfo>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QSet>
#include <QVBoxLayout>

TFormI* FormI = nullptr;

namespace {
void showError(const QString& text)
{
    platform::dialogs().message(text, QString(), platform::MsgButtons::Ok, platform::MsgIcon::Error);
}

} // namespace

TFormI::TFormI() : TForm(QStringLiteral("FormI"))
{
    setWindowTitle(QStringLiteral("Download all URLs from the page"));
    resize(640, 460);
    auto* v = new QVBoxLayout(this);
    MainMenu1 = new QMenuBar(this);
    v->setMenuBar(MainMenu1);
    DefineURLs1 = MainMenu1->addAction(QStringLiteral("Define URLs"), this, &TFormI::ButtonLoadLinksClick);
    DefineURLs1->setObjectName(QStringLiteral("DefineURLs1"));
    Makefiles1 = MainMenu1->addAction(QStringLiteral("Make files"), this, &TFormI::MakeFilesClick);
    Makefiles1->setObjectName(QStringLiteral("Makefiles1"));
    ShowDownloadmanager1 = MainMenu1->addAction(QStringLiteral("Show Download manager"), this, [] {
        if (FormM)
            FormM->show();
    });
    ShowDownloadmanager1->setObjectName(QStringLiteral("ShowDownloadmanager1"));
    Makefiles1->setEnabled(false);
    ShowDownloadmanager1->setEnabled(false);

    v->addWidget(new QLabel(QStringLiteral("URL adress"), this));
    EditURL = new QLineEdit(QStringLiteral("EditURL"), this);
    EditURL->setObjectName(QStringLiteral("EditURL"));
    v->addWidget(EditURL);
    auto* g = new QGridLayout();
    g->addWidget(new QLabel(QStringLiteral("URL for download"), this), 0, 0);
    g->addWidget(new QLabel(QStringLiteral("Stop list"), this), 0, 2);
    LB_url = new QListWidget(this);
    LB_url->setObjectName(QStringLiteral("LB_url"));
    LB_stop = new QListWidget(this);
    LB_stop->setObjectName(QStringLiteral("LB_stop"));
    g->addWidget(LB_url, 1, 0);
    g->addWidget(LB_stop, 1, 2);
    auto* buttons = new QVBoxLayout();
    ButtonToStop = new QPushButton(QStringLiteral(">>"), this);
    ButtonFromStop = new QPushButton(QStringLiteral("<<"), this);
    ButtonMask = new QPushButton(QStringLiteral("This mask only"), this);
    for (QPushButton* b : {ButtonToStop, ButtonFromStop, ButtonMask}) {
        b->setAutoDefault(false);
        buttons->addWidget(b);
    }
    buttons->addStretch(1);
    g->addLayout(buttons, 1, 1);
    EditURL1 = new QLineEdit(this);
    EditURL1->setObjectName(QStringLiteral("EditURL1"));
    EditStopURL = new QLineEdit(this);
    EditStopURL->setObjectName(QStringLiteral("EditStopURL"));
    g->addWidget(EditURL1, 2, 0);
    g->addWidget(EditStopURL, 2, 2);
    v->addLayout(g, 1);
    connect(ButtonToStop, &QPushButton::clicked, this, &TFormI::ToStopClick);
    connect(ButtonFromStop, &QPushButton::clicked, this, &TFormI::FromStopClick);
    connect(ButtonMask, &QPushButton::clicked, this, &TFormI::MaskClick);
    connect(LB_url, &QListWidget::itemDoubleClicked, this, &TFormI::ToStopClick);
    connect(LB_url, &QListWidget::itemClicked, this, [this](QListWidgetItem* it) { EditURL1->setText(it->text()); });
    connect(LB_stop, &QListWidget::itemClicked, this, [this](QListWidgetItem* it) { EditStopURL->setText(it->text()); });
    for (QWidget* w : {static_cast<QWidget*>(LB_url), static_cast<QWidget*>(LB_stop), static_cast<QWidget*>(EditURL1),
                       static_cast<QWidget*>(EditStopURL)})
        w->installEventFilter(this);

    WB1 = platform::createBrowser(this);
    WB1->setObjectName(QStringLiteral("WB1"));
    WB1->resize(1, 1);
    WB1->hide();
    connect(WB1, &platform::BrowserControl::loadFinished, this, [this](const QUrl&, bool ok) {
        // A page that could not be loaded shows the engine's error page, whose links lead nowhere.
        if (ok)
            CollectLinks();
        else
            LB_url->clear();
    });

    // The catalog shown, not the setting "path", which may name another one.
    LinksPath = FormSlova ? FormSlova->ProjectPath : QString();
    const QString node = platform::SettingsStore().readString(QStringLiteral("FileName"), QString());
    if (!node.isEmpty() && !LinksPath.isEmpty())
        for (const char* ext : {".htm", ".html"}) {
            const QString p = platform::resolveIn(LinksPath, node + QLatin1String(ext));
            if (QFileInfo(p).isFile())
                EditURL->setText(p);
        }
    EditURL1->clear();
    EditStopURL->clear();
    if (!LinksPath.isEmpty())
        showStopEntries(links::readStopList(StopListFile()), -1);
}

QString TFormI::StopListFile() const
{
    const QString dir = FormSlova ? FormSlova->ProjectPath : LinksPath;
    return platform::resolveIn(dir, QStringLiteral("StopList"));
}

QStringList TFormI::items(QListWidget* list) const
{
    QStringList out;
    out.reserve(list->count());
    for (int i = 0; i < list->count(); ++i)
        out << list->item(i)->text();
    return out;
}

void TFormI::showStopEntries(const QStringList& entries, int select)
{
    LB_stop->clear();
    LB_stop->addItems(entries);
    if (select >= 0 && select < LB_stop->count())
        LB_stop->setCurrentRow(select);
}

void TFormI::ButtonLoadLinksClick()
{
    const QString text = EditURL->text().trimmed();
    if (text.isEmpty())
        return;
    localPage_ = links::ownLocalPage(text);
    if (text.startsWith(u'/') || text.startsWith(QLatin1String("file:")))
        WB1->navigateFile(text.startsWith(QLatin1String("file:")) ? links::localPath(text) : text);
    else
        WB1->navigate(QUrl::fromUserInput(text));
    Makefiles1->setEnabled(true);
    ShowDownloadmanager1->setEnabled(true);
}

void TFormI::CollectLinks()
{
    // The stop list as it is on disk now: the stop list window's pending change first.
    if (FormStopList)
        FormStopList->SaveStopList();
    const QStringList stops = links::readStopList(StopListFile());
    showStopEntries(stops, -1);
    LB_url->clear();
    // A local document that is not a page (XML, SVG) may have made its links out of its own path
    // through its transformation: it lists none.
    if (WB1->url().isLocalFile() && !platform::isPageFileName(WB1->url().toLocalFile()))
        return;
    // The page's renderer is a process of its own and answers late on a busy machine; a short
    // wait showed a loaded page as one without links.
    LB_url->addItems(links::collectLinks(WB1->links(60000), stops, localPage_));
}

bool TFormI::changeStop(const QString& remove, const QString& add)
{
    if (FormStopList && !FormStopList->SaveStopList())
        return false;
    QStringList entries;
    QString error;
    if (!links::changeStopList(StopListFile(), remove, add, &entries, &error)) {
        showError(QStringLiteral("The stop list was not saved.\n%1").arg(error));
        return false;
    }
    showStopEntries(entries, -1);
    if (FormStopList)
        FormStopList->LoadStopList();
    return true;
}

void TFormI::ToStopClick()
{
    const int row = LB_url->currentRow();
    QListWidgetItem* it = LB_url->currentItem();
    if (!it || !it->isSelected())
        return;
    const QString address = it->text();
    if (!changeStop(QString(), address))
        return;
    delete LB_url->takeItem(row);
    if (LB_url->count() > 0)
        LB_url->setCurrentRow(qMin(row, LB_url->count() - 1));
}

void TFormI::FromStopClick()
{
    const int row = LB_stop->currentRow();
    QListWidgetItem* it = LB_stop->currentItem();
    if (!it || !it->isSelected())
        return;
    const QString entry = it->text();
    if (!changeStop(entry, QString()))
        return;
    const QStringList urls = items(LB_url);
    LB_url->insertItem(int(links::insertPos(urls, entry)), entry);
    if (LB_stop->count() > 0)
        LB_stop->setCurrentRow(qMin(row, LB_stop->count() - 1));
}

void TFormI::MaskClick()
{
    const QString mask = EditURL1->text();
    if (mask.isEmpty())
        return;
    for (int i = LB_url->count() - 1; i >= 0; --i)
        if (!LB_url->item(i)->text().startsWith(mask))
            delete LB_url->takeItem(i);
}

QString TFormI::MakeTaskFile(const QString& address)
{
    const QString text = tasks::linkNameText(address);
    if (text.isEmpty())
        return QString();
    const QString path = LinksPath + tasks::uniqueBaseName(LinksPath, text, false) + QStringLiteral(".htm");
    QString error;
    if (!tasks::writeTaskFile(path, nullptr, address, &error)) {
        showError(error);
        return QString();
    }
    platform::ResolveScope::noteCreated(path);
    return path;
}

void TFormI::MakeFilesClick()
{
    if (!FormSlova || FormSlova->NoCatalog || FormSlova->ProjectPath.isEmpty()) {
        showError(QStringLiteral("No catalog is loaded."));
        return;
    }
    LinksPath = FormSlova->ProjectPath;
    platform::ResolveScope scope;
    QSet<QString> known;
    for (const QString& page : tasks::pagesEndingWith(LinksPath, {QStringLiteral("tml"), QStringLiteral("htm")})) {
        int mark = 0;
        const QString v = ReadLinkHeaderValue(page, QStringLiteral("DownloadURL"), mark);
        if (!v.isEmpty())
            known.insert(v);
    }
    for (const QString& address : items(LB_url)) {
        if (known.contains(address))
            continue;
        const QString written = MakeTaskFile(address);
        if (written.isEmpty() && !tasks::linkNameText(address).isEmpty())
            return; // the write failed and was reported
        known.insert(address);
    }
    if (FormM)
        FormM->show();
}

void TFormI::editKey(QLineEdit* edit, QListWidget* list, int key)
{
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        list->setEnabled(true);
        QListWidgetItem* it = list->currentItem();
        if (!it || !it->isSelected())
            return;
        const QString text = edit->text();
        if (list == LB_stop) {
            if (!text.isEmpty() && text != it->text())
                changeStop(it->text(), text);
            return;
        }
        const int row = list->row(it);
        delete list->takeItem(row);
        const QStringList urls = items(list);
        const int at = int(links::insertPos(urls, text));
        list->insertItem(at, text);
        list->setCurrentRow(at);
    } else if (key == Qt::Key_Escape) {
        list->setEnabled(true);
    } else {
        list->setEnabled(false);
    }
}

bool TFormI::eventFilter(QObject* o, QEvent* e)
{
    if (e->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(e)->key();
        if (o == EditURL1 || o == EditStopURL) {
            editKey(static_cast<QLineEdit*>(o), o == EditURL1 ? LB_url : LB_stop, key);
            return key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape;
        }
        if ((o == LB_url || o == LB_stop) && key == Qt::Key_Delete) {
            auto* list = static_cast<QListWidget*>(o);
            QListWidgetItem* it = list->currentItem();
            if (it && it->isSelected()) {
                const int row = list->row(it);
                if (list == LB_stop) {
                    changeStop(it->text(), QString());
                } else {
                    delete list->takeItem(row);
                }
                if (list->count() > 0)
                    list->setCurrentRow(qMin(row, list->count() - 1));
            }
            return true;
        }
    }
    return TForm::eventFilter(o, e);
}
