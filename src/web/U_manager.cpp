// The download manager: the queue, three fetch slots, the merge into task files, the end of a run.
#include "U_manager.h"

#include "PageHeader.h"
#include "PageMerge.h"
#include "TaskFiles.h"
#include "UnitHtmlKategory.h"
#include "app/NodeFiles.h"
#include "app/UnitSlova.h"
#include "platform/dialogs/Dialogs.h"
#include "platform/files/AtomicFile.h"
#include "platform/web/BrowserControl.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSplitter>
#include <QStyledItemDelegate>
#include <QThreadPool>
#include <QTimer>
#include <QVBoxLayout>

TFormM* FormM = nullptr;

namespace {
void showError(const QString& text, const QString& caption = QString())
{
    platform::dialogs().message(text, caption, platform::MsgButtons::Ok, platform::MsgIcon::Error);
}

bool catalogLoaded() { return FormSlova && !FormSlova->NoCatalog && !FormSlova->ProjectPath.isEmpty(); }

// The queue holds full file names; all of them lie in the run's catalog, so the list shows
// only the names.
class FileNameDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QString displayText(const QVariant& value, const QLocale&) const override
    {
        return QFileInfo(value.toString()).fileName();
    }
};

// A slot whose work has ended says so on its bar: full when its page was merged, empty when
// it failed or was stopped; never the busy bar of a transfer whose size was not announced.
void showEnd(QProgressBar* bar, bool merged)
{
    bar->setRange(0, 1000);
    bar->setValue(merged ? 1000 : 0);
}
} // namespace

TFormM::TFormM() : TForm(QStringLiteral("FormM"))
{
    setWindowTitle(QStringLiteral("Download manager"));
    resize(760, 520);
    auto* v = new QVBoxLayout(this);
    v->setContentsMargins(2, 2, 2, 2);
    MainMenu1 = new QMenuBar(this);
    v->setMenuBar(MainMenu1);
    Preparelist1 = MainMenu1->addAction(QStringLiteral("Prepare list"), this, &TFormM::Preparelist1Click);
    StartDownload1 = MainMenu1->addAction(QStringLiteral("Start Download"), this, &TFormM::StartDownload1Click);
    Stopdownload1 = MainMenu1->addAction(QStringLiteral("Stop download"), this, &TFormM::Stopdownload1Click);
    Close1 = MainMenu1->addAction(QStringLiteral("Close"));
    Onestep1 = MainMenu1->addAction(QStringLiteral("One step"), this, &TFormM::Onestep1Click);
    Preparelist1->setObjectName(QStringLiteral("Preparelist1"));
    StartDownload1->setObjectName(QStringLiteral("StartDownload1"));
    Stopdownload1->setObjectName(QStringLiteral("Stopdownload1"));
    Close1->setObjectName(QStringLiteral("Close1"));
    Onestep1->setObjectName(QStringLiteral("Onestep1"));

    auto* split = new QSplitter(Qt::Horizontal, this);
    v->addWidget(split, 1);
    LB_files = new QListWidget(split);
    LB_files->setObjectName(QStringLiteral("LB_files"));
    LB_files->setToolTip(QStringLiteral("Files for download"));
    LB_files->setContextMenuPolicy(Qt::CustomContextMenu);
    LB_files->setItemDelegate(new FileNameDelegate(LB_files));
    // Wide enough for a task file's name; the slot panel may not squeeze it.
    const int chars = LB_files->fontMetrics().averageCharWidth();
    LB_files->setMinimumWidth(24 * chars);
    LB_URLs = new QListWidget(this);
    LB_URLs->setObjectName(QStringLiteral("LB_URLs"));
    LB_URLs->hide();
    auto* right = new QWidget(split);
    auto* rv = new QVBoxLayout(right);
    rv->setContentsMargins(0, 0, 0, 0);
    PanelControl = new QWidget(right);
    PanelControl->setObjectName(QStringLiteral("PanelControl"));
    auto* g = new QGridLayout(PanelControl);
    for (int i = 0; i < 3; ++i) {
        const int n = i + 1;
        const QString num = QString::number(n);
        ProgressBar[i] = new QProgressBar(PanelControl);
        ProgressBar[i]->setObjectName(QStringLiteral("ProgressBar") + num);
        ProgressBar[i]->setRange(0, 100);
        ProgressBar[i]->setValue(0);
        Load[i] = new QPushButton(QStringLiteral("Load ") + num, PanelControl);
        Stop[i] = new QPushButton(QStringLiteral("Stop ") + num, PanelControl);
        Show[i] = new QPushButton(QStringLiteral("Show ") + num, PanelControl);
        Use[i] = new QCheckBox(QStringLiteral("Use ") + num, PanelControl);
        Use[i]->setChecked(true);
        SlotState[i] = new QLabel(PanelControl);
        SlotState[i]->setObjectName(QStringLiteral("SlotState") + num);
        // Under its slot's controls: a long address or failure wraps, it does not widen the panel.
        SlotState[i]->setWordWrap(true);
        SlotState[i]->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        for (QPushButton* b : {Load[i], Stop[i], Show[i]})
            b->setAutoDefault(false);
        g->addWidget(ProgressBar[i], 2 * i, 0);
        g->addWidget(Load[i], 2 * i, 1);
        g->addWidget(Stop[i], 2 * i, 2);
        g->addWidget(Show[i], 2 * i, 3);
        g->addWidget(Use[i], 2 * i, 4);
        g->addWidget(SlotState[i], 2 * i + 1, 0, 1, 5);
        connect(Load[i], &QPushButton::clicked, this, [this, n] { StartSlot(n); });
        connect(Stop[i], &QPushButton::clicked, this, [this, n] { StopSlot(n); });
        connect(Show[i], &QPushButton::clicked, this, [this, n] { ShowSlot(n); });
        connect(Use[i], &QCheckBox::clicked, this, [this] {
            for (int k = 1; k <= 3; ++k)
                if (Use[k - 1]->isChecked())
                    StartSlot(k);
        });
        slots_[i].fetch = new PageFetch(this);
        connect(slots_[i].fetch, &PageFetch::progress, this, [this, i](qint64 got, qint64 total) {
            if (total > 0) {
                ProgressBar[i]->setRange(0, 1000);
                ProgressBar[i]->setValue(int(qMin<qint64>(1000, got * 1000 / total)));
            } else {
                ProgressBar[i]->setRange(0, 0); // nothing announced: a busy bar
            }
        });
        connect(slots_[i].fetch, &PageFetch::finished, this, [this, n](const FetchResult& r) { complete(n, r); });
    }
    PanelControl->setEnabled(false);
    rv->addWidget(PanelControl);
    auto* area = new QWidget(right);
    views_ = new QVBoxLayout(area);
    views_->setContentsMargins(0, 0, 0, 0);
    rv->addWidget(area, 1);
    split->setStretchFactor(1, 1);
    split->setCollapsible(0, false);
    split->setSizes({44 * chars, width() - 44 * chars});

    PopupMenu1 = new QMenu(this);
    Deletefromdownload1 = PopupMenu1->addAction(QStringLiteral("Delete from download"), this, &TFormM::Deletefromdownload1Click);
    Deletetaskfile1 = PopupMenu1->addAction(QStringLiteral("Delete task file"), this, &TFormM::Deletetaskfile1Click);
    Showkategoryform1 = PopupMenu1->addAction(QStringLiteral("Show kategory form"), this, &TFormM::Showkategoryform1Click);
    connect(LB_files, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& p) { PopupMenu1->popup(LB_files->viewport()->mapToGlobal(p)); });
    connect(LB_files, &QListWidget::itemClicked, this, &TFormM::LB_filesClick);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(60000);
    connect(Timer1, &QTimer::timeout, this, &TFormM::Timer1Timer);
    DownloadDir = FormSlova ? FormSlova->ProjectPath : QString();
    // Merges run beside the fetches: a page's merge and its synced write do not hold up the
    // other slots' transfers.
    pool_ = new QThreadPool(this);
    pool_->setMaxThreadCount(3);
}

TFormM::~TFormM() { pool_->waitForDone(); }

void TFormM::FormDestroy()
{
    for (Slot& s : slots_)
        s.fetch->abort();
    pool_->waitForDone();
    QCoreApplication::sendPostedEvents(this);
}

void TFormM::Preparelist1Click()
{
    if (!catalogLoaded()) {
        showError(QStringLiteral("No catalog is loaded."));
        return;
    }
    DownloadDir = FormSlova->ProjectPath;
    Stopdownload1->setVisible(false);
    LB_files->clear();
    LB_URLs->clear();
    QStringList busy;
    for (const Slot& s : slots_)
        if (s.fetch->running())
            busy << s.taskFile;
    busy << merging_;
    // Name order, without regard to case.
    for (const QString& f : tasks::pagesEndingWith(DownloadDir, {QStringLiteral("tml"), QStringLiteral("htm")})) {
        if (busy.contains(f))
            continue;
        int mark = 0;
        const QString url = ReadHeaderValue(f, QStringLiteral("DownloadURL"), mark);
        if (!url.isEmpty() && mark) {
            LB_files->addItem(f);
            LB_URLs->addItem(url);
        }
    }
}

void TFormM::StartDownload1Click()
{
    for (int n = 1; n <= 3; ++n)
        if (Use[n - 1]->isChecked())
            StartSlot(n);
    PanelControl->setEnabled(true);
    Stopdownload1->setVisible(true);
    Timer1->start();
}

void TFormM::Stopdownload1Click()
{
    for (int n = 1; n <= 3; ++n)
        StopSlot(n);
    Timer1->stop();
}

void TFormM::Onestep1Click()
{
    // The boxes change without their click action, which would start the slots again.
    for (QCheckBox* u : Use)
        u->setChecked(true);
    StartDownload1Click();
    for (QCheckBox* u : Use)
        u->setChecked(false);
}

void TFormM::StartSlot(int n)
{
    Slot& s = slots_[n - 1];
    if (s.fetch->running()) {
        s.fetch->abort(); // the item it held keeps its mark and returns with the next "Prepare list"
        SlotState[n - 1]->setText(QStringLiteral("Stopped"));
        showEnd(ProgressBar[n - 1], false);
    }
    if (LB_URLs->count() == 0 || LB_files->count() == 0)
        return;
    s.address = LB_URLs->item(0)->text();
    s.taskFile = LB_files->item(0)->text();
    // The scratch name is unique per slot: two slots never write one file.
    QString tail = s.taskFile.right(11);
    for (QChar& c : tail)
        if (c == u'/' || c == u'\\' || c == u':')
            c = u'_';
    s.scratch = DownloadDir + QStringLiteral("temp/") + QStringLiteral("slot%1_%2_").arg(n).arg(++scratchCounter_) + tail;
    delete LB_URLs->takeItem(0);
    delete LB_files->takeItem(0);
    ProgressBar[n - 1]->setRange(0, 100);
    ProgressBar[n - 1]->setValue(0);
    SlotState[n - 1]->setText(s.address);
    s.fetch->start(s.address, s.scratch);
}

void TFormM::StopSlot(int n)
{
    Slot& s = slots_[n - 1];
    s.fetch->abort();
    SlotState[n - 1]->setText(QStringLiteral("Stopped"));
    showEnd(ProgressBar[n - 1], false);
    if (WB[n - 1])
        WB[n - 1]->navigate(QUrl(QStringLiteral("about:blank")));
}

void TFormM::complete(int n, const FetchResult& r)
{
    Slot& s = slots_[n - 1];
    if (!r.ok) {
        SlotState[n - 1]->setText(r.error);
        showEnd(ProgressBar[n - 1], false);
        if (r.saveFailed)
            showError(QStringLiteral("Fail to save HTML source"), QStringLiteral("Error"));
        emit itemDone(s.taskFile, s.address, false, r.error);
        StartSlot(n);
        return;
    }
    const QString taskFile = s.taskFile, scratch = s.scratch, address = s.address;
    const QString charset = r.charset, finalUrl = r.finalUrl.toString();
    const QByteArray date = merge::dateLine(n, QDateTime::currentDateTime());
    merging_ << taskFile;
    SlotState[n - 1]->setText(QStringLiteral("Merging %1").arg(QFileInfo(taskFile).fileName()));
    QPointer<TFormM> self(this);
    pool_->start([self, n, taskFile, scratch, address, charset, finalUrl, date] {
        bool ok = false;
        bool showIt = false;
        QString detail;
        QByteArray body, task;
        // A task file deleted or renamed meanwhile is not made again.
        if (!QFileInfo(taskFile).isFile()) {
            detail = QStringLiteral("The task file is gone: %1").arg(taskFile);
        } else if (!platform::readWholeFile(scratch, body, &detail) || !platform::readWholeFile(taskFile, task, &detail)) {
        } else {
            const QByteArray page = merge::mergedPage(task, body, charset, date, finalUrl);
            body.clear();
            QString error;
            if (!platform::writeFileAtomic(taskFile, page, &error)) {
                detail = QStringLiteral("The page %1 was not saved: %2").arg(taskFile, error);
                showIt = true;
            } else {
                ok = true;
                detail = QString::number(page.size());
            }
        }
        QFile::remove(scratch);
        QMetaObject::invokeMethod(
            self.data(), [self, n, taskFile, address, ok, detail, showIt] {
                if (self)
                    self->merged(n, taskFile, address, ok, detail, showIt);
            },
            Qt::QueuedConnection);
    });
    StartSlot(n);
}

void TFormM::merged(int n, const QString& taskFile, const QString& address, bool ok, const QString& detail, bool showIt)
{
    merging_.removeOne(taskFile);
    Slot& s = slots_[n - 1];
    if (showIt)
        showError(detail);
    if (ok) {
        s.lastMerged = taskFile;
        if (!s.fetch->running()) {
            SlotState[n - 1]->setText(QStringLiteral("Done: %1").arg(QFileInfo(taskFile).fileName()));
            showEnd(ProgressBar[n - 1], true);
        }
        if (shown_ == n && WB[n - 1])
            WB[n - 1]->navigateFile(s.lastMerged);
    } else if (!s.fetch->running()) {
        SlotState[n - 1]->setText(detail);
        showEnd(ProgressBar[n - 1], false);
    }
    emit itemDone(taskFile, address, ok, detail);
}

void TFormM::ShowSlot(int n)
{
    if (!WB[n - 1]) {
        WB[n - 1] = platform::createBrowser(this);
        WB[n - 1]->setObjectName(QStringLiteral("WB%1").arg(n));
        views_->addWidget(WB[n - 1]);
    }
    for (int k = 0; k < 3; ++k)
        if (WB[k])
            WB[k]->setVisible(k == n - 1);
    shown_ = n;
    setWindowTitle(QStringLiteral("#%1 ").arg(n) + slots_[n - 1].address);
    if (!slots_[n - 1].lastMerged.isEmpty())
        WB[n - 1]->navigateFile(slots_[n - 1].lastMerged);
}

void TFormM::Timer1Timer()
{
    // Never inside a modal dialog, a rename or a catalog switch: the next tick tries again.
    if (QApplication::activeModalWidget() || !FormSlova || FormSlova->NoCatalog || FormSlova->Panel1->isVisible()
        || FormSlova->PageToolBusy() || platform::BrowserControl::waiting())
        return;
    // The run ends when nothing is queued, fetched or merged any more.
    if (LB_files->count() > 0 || busy())
        return;
    Timer1->stop();
    // As the Redraw timer does: no box at the end of an unattended run; the files left out
    // stay in the catalog, and the next Draw the tree names them.
    FormSlova->addCatalogFiles();
    hide();
}

void TFormM::Deletefromdownload1Click()
{
    const int i = LB_files->currentRow();
    if (i < 0 || !LB_files->currentItem()->isSelected())
        return;
    delete LB_files->takeItem(i);
    if (i < LB_URLs->count())
        delete LB_URLs->takeItem(i);
}

void TFormM::closeHeaderEditor()
{
    if (FormHTMLKategory && FormHTMLKategory->isVisible())
        FormHTMLKategory->close();
}

void TFormM::Deletetaskfile1Click()
{
    const int i = LB_files->currentRow();
    if (i < 0 || !LB_files->currentItem()->isSelected())
        return;
    if (platform::dialogs().message(QStringLiteral("Delete file?"), QString(), platform::MsgButtons::OkCancel,
                                    platform::MsgIcon::Question) != platform::MsgResult::Ok)
        return;
    closeHeaderEditor();
    const QString file = LB_files->item(i)->text();
    if (!QFile::remove(file)) {
        showError(QStringLiteral("The file %1 was not deleted.").arg(file));
        return;
    }
    Preparelist1Click();
    if (i - 1 >= 0 && i - 1 < LB_files->count()) {
        LB_files->setCurrentRow(i - 1);
        LB_URLs->setCurrentRow(i - 1);
    }
}

void TFormM::Showkategoryform1Click()
{
    closeHeaderEditor();
    QListWidgetItem* it = LB_files->currentItem();
    if (!it || !FormSlova || !FormHTMLKategory)
        return;
    // The very file listed: its name less folder and extension is the node text.
    const QString file = it->text();
    QString base = QFileInfo(file).fileName();
    if (base.endsWith(QLatin1String("html")))
        base.chop(5);
    else if (base.endsWith(QLatin1String(".htm")))
        base.chop(4);
    FormSlova->CurrentFile = file;
    FormSlova->CurrentNodeText = base;
    FormHTMLKategory->LoadHTMLList();
    FormHTMLKategory->show();
}

void TFormM::LB_filesClick()
{
    const int i = LB_files->currentRow();
    if (i >= 0 && i < LB_URLs->count())
        LB_URLs->setCurrentRow(i);
    if (FormHTMLKategory && FormHTMLKategory->isVisible())
        Showkategoryform1Click();
}

void TFormM::reject()
{
    closeHeaderEditor();
    TForm::reject();
}

bool TFormM::event(QEvent* e)
{
    if (e->type() == QEvent::WindowActivate)
        closeHeaderEditor();
    return TForm::event(e);
}
