#include "UnitZip.h"

#include "ProgramPaths.h"
#include "UnitSlova.h"
#include "archive/ZipExceptions.h"
#include "archive/ZipExtract.h"
#include "archive/ZipStrings.h"
#include "archive/ZipUtils.h"
#include "archive/ZipWriter.h"
#include "platform/dialogs/Dialogs.h"
#include "platform/files/FileNames.h"

#include <QCheckBox>
#include <QDateTimeEdit>
#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>

TFormZip* FormZip = nullptr;

namespace {

QString skipReasonText(archive::TSkipReason reason, const QString& name, bool passwordGiven)
{
    using namespace archive;
    switch (reason) {
    case srBadPassword:
        // The window asks for no password: "wrong" would blame a password the user never typed.
        return passwordGiven ? QStringLiteral("wrong password") : QStringLiteral("encrypted, and no password was given");
    case srFileOpenError:
        return QStringLiteral("could not be read");
    case srCreateError:
        return IsUnsafeMemberPath(name) ? QStringLiteral("its name leads out of the catalog")
                                        : QStringLiteral("the file could not be created");
    case srUnsupportedEncryption:
        return QStringLiteral("unsupported encryption");
    case srUnknownMethod:
        return QStringLiteral("unknown compression method");
    case srWrongSize:
        return QStringLiteral("wrong size");
    case srBadName:
        return QStringLiteral("a name no archive member can carry");
    case srTooLarge:
        return SMemberTooLarge;
    case srNoOverwrite:
        break;
    }
    return QString();
}

} // namespace

TFormZip::TFormZip()
    : TForm(QStringLiteral("FormZip")),
      ZipReader1(std::make_unique<archive::TZipReader>()),
      ZipWriter1(std::make_unique<archive::TZipWriter>())
{
    auto* h = new QHBoxLayout(this);
    Edit1 = new QLineEdit(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setMinimumWidth(240);
    ButtonZip = new QPushButton(QStringLiteral("Zip"), this);
    ButtonZip->setObjectName(QStringLiteral("ButtonZip"));
    ButtonUnZip = new QPushButton(QStringLiteral("UnZip"), this);
    ButtonUnZip->setObjectName(QStringLiteral("ButtonUnZip"));
    OpenFile = new QPushButton(QStringLiteral("..."), this);
    OpenFile->setObjectName(QStringLiteral("OpenFile"));
    DateTimePicker1 = new QDateTimeEdit(this);
    DateTimePicker1->setObjectName(QStringLiteral("DateTimePicker1"));
    DateTimePicker1->hide();
    CheckBox1 = new QCheckBox(QStringLiteral("Use date"), this);
    CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
    CheckBox1->hide();
    // Tab order is creation order: Edit1, ButtonZip, ButtonUnZip, OpenFile, the hidden two.
    h->addWidget(Edit1, 1);
    h->addWidget(ButtonZip);
    h->addWidget(ButtonUnZip);
    h->addWidget(OpenFile);
    h->addWidget(DateTimePicker1);
    h->addWidget(CheckBox1);
    for (QPushButton* b : {ButtonZip, ButtonUnZip})
        b->setMinimumWidth(121);
    ButtonZip->setAutoDefault(false);
    ButtonUnZip->setAutoDefault(false);
    OpenFile->setAutoDefault(false);

    ZipReader1->DoAll = true;
    ZipWriter1->DoAll = true;

    connect(ButtonZip, &QPushButton::clicked, this, &TFormZip::ButtonZipClick);
    connect(ButtonUnZip, &QPushButton::clicked, this, &TFormZip::ButtonUnZipClick);
    connect(OpenFile, &QPushButton::clicked, this, &TFormZip::OpenFileClick);
    connect(CheckBox1, &QCheckBox::clicked, this, &TFormZip::CheckBox1Click);

    resize(503, 56);
    FormCreate();
}

TFormZip::~TFormZip() = default;

void TFormZip::FormCreate()
{
    setWindowTitle(QStringLiteral("Zip & UnZip form"));
    centreOnScreen();
}

void TFormZip::ShowFor(bool zip)
{
    ButtonZip->setVisible(zip);
    ButtonUnZip->setVisible(!zip);
    const bool wasActive = isVisible() && isActiveWindow();
    show();
    raise();
    activateWindow();
    // Shown again while it is the active window: no activation will come.
    if (wasActive || !isActiveWindow())
        FormActivate();
}

bool TFormZip::event(QEvent* e)
{
    if (e->type() == QEvent::WindowDeactivate) {
        leftForOwnDialog_ = ownDialogs_ > 0;
    } else if (e->type() == QEvent::WindowActivate) {
        // Coming back from the window's own file dialog or message is no new activation: the
        // file just chosen must stay.
        if (leftForOwnDialog_ || ownDialogs_ > 0 || running_)
            leftForOwnDialog_ = false;
        else
            FormActivate();
    }
    return TForm::event(e);
}

void TFormZip::FormActivate()
{
    if (!FormSlova)
        return;
    Edit1->setText(FormSlova->ProjectPath + QStringLiteral("archives/archive001.zip"));
    // The default archive lies in the catalog: a received catalog's "archives" that is a link out
    // of it gives way to a folder of its own, as its scratch folder does.
    platform::makeOwnDirNoCase(FormSlova->ProjectPath + QStringLiteral("archives"));
    // Whichever button is visible stands in the same place: the layout keeps hidden buttons
    // out, so nothing needs moving.
}

void TFormZip::OpenFileClick()
{
    noteOwnDialog();
    ++ownDialogs_;
    const QString name = platform::dialogs().openFileName(QString(), QFileInfo(Edit1->text()).absolutePath(), QString());
    --ownDialogs_;
    if (!name.isEmpty())
        Edit1->setText(name);
}

void TFormZip::CheckBox1Click()
{
    DateTimePicker1->setVisible(CheckBox1->isChecked());
}

void TFormZip::noteOwnDialog()
{
    // The dialog takes the activation and gives it back as it closes; that return is no
    // new entry. The window's deactivation towards another window forgets the mark.
    leftForOwnDialog_ = true;
}

void TFormZip::ownMessage(const QString& text)
{
    noteOwnDialog();
    ++ownDialogs_;
    platform::dialogs().message(text, QString(), platform::MsgButtons::Ok);
    --ownDialogs_;
}

bool TFormZip::saveOpenEditors()
{
    noteOwnDialog();
    ++ownDialogs_;
    const bool ok = !FormSlova || FormSlova->SaveOpenEditors();
    --ownDialogs_;
    return ok;
}

bool TFormZip::runWithProgress(archive::TZipReader& component, const std::function<void()>& work, QString& error)
{
    running_ = true;
    ++ownDialogs_;
    failures_.clear();
    component.CancelRequested = false;
    QProgressDialog progress(windowTitle(), QStringLiteral("Cancel"), 0, 100, this);
    progress.setWindowModality(Qt::ApplicationModal);
    progress.setMinimumDuration(0);
    progress.setAutoClose(false);
    progress.setAutoReset(false);
    // No setValue before the run: on a modal dialog it lets events run, and a cancel then
    // would be forgotten as the run starts.
    progress.show();
    progress_ = &progress;
    lastPercent_ = 0;
    connect(&progress, &QProgressDialog::canceled, this, [&component] { component.CancelRequested = true; });
    QElapsedTimer shown;
    shown.start();
    component.OnTotalPercentDone = [this, &shown](archive::TZipReader*, int percent) {
        // A change is shown at most ten times a second: each step of the dialog repaints it
        // and lets events run, which would cost a short run more than its work.
        if (percent != lastPercent_ && progress_ && (shown.elapsed() >= 100 || percent >= 100)) {
            shown.restart();
            lastPercent_ = percent;
            progress_->setValue(std::clamp(percent, 0, 100));
        }
    };
    component.OnSkippingFile = [this](archive::TZipReader* sender, archive::TSkipReason reason, const QString& name, int) {
        const QString why = skipReasonText(reason, name, !sender->Password.isEmpty());
        if (why.isEmpty())
            return;
        // Files on disk are named as they are (a "\" is part of a Linux name); a member's
        // stored path separates its folders with "\".
        const bool onDisk = sender == ZipWriter1.get() || (FormSlova && name.startsWith(FormSlova->ProjectPath));
        failures_ << (onDisk ? name : QString(name).replace(u'\\', u'/')) + QStringLiteral(": ") + why;
    };
    component.OnBadCRC = [this](archive::TZipReader* sender, uint32_t, uint32_t, int index) {
        failures_ << sender->Filename(index).replace(u'\\', u'/') + QStringLiteral(": damaged data (bad CRC)");
    };
    bool ok = true;
    error.clear();
    try {
        work();
    } catch (const platform::Exception& e) {
        ok = false;
        error = e.Message;
    } catch (const std::exception& e) {
        ok = false;
        error = QString::fromLocal8Bit(e.what());
    }
    component.OnTotalPercentDone = nullptr;
    component.OnSkippingFile = nullptr;
    component.OnBadCRC = nullptr;
    progress_ = nullptr;
    progress.close();
    --ownDialogs_;
    running_ = false;
    return ok;
}

bool TFormZip::catalogOpen()
{
    if (!FormSlova)
        return false;
    // Between "Open dir" and the choice of a catalog the window can still be reached: a click
    // must not pass in silence, nor zip or fill the folder left a moment ago.
    if (FormSlova->NoCatalog) {
        ownMessage(QStringLiteral("No catalog is open: choose a catalog first."));
        return false;
    }
    return true;
}

void TFormZip::ButtonZipClick()
{
    if (running_ || !catalogOpen())
        return;
    // The archive holds what the user sees: open editors are saved and the tree written first.
    if (!saveOpenEditors())
        return;
    FormSlova->FormDestroy();

    const QString target = Edit1->text();
    const qsizetype sep = std::max(target.lastIndexOf(u'/'), target.lastIndexOf(u'\\'));
    const QString folder = target.left(sep + 1);
    if (!folder.isEmpty())
        QDir().mkdir(folder);

    // A zip run cut short (a killed program) left its temporary archive beside the archive.
    if (!FormSlova->ReadOnlyMode())
        archive::RemoveLeftoverTempArchives(QFileInfo(target).absolutePath(), app::runStartTime());

    // The catalog folder's own files; sub-folders and what they hold are not taken.
    const QString path = FormSlova->ProjectPath;
    const QFileInfoList entries = QDir(path).entryInfoList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    // Earlier clicks, maybe of another catalog, never add their files to this archive.
    ZipWriter1->FilesList.clear();
    for (const QFileInfo& fi : entries) {
        if (fi.isDir())
            continue;
        ZipWriter1->FilesList.append(path + fi.fileName());
    }
    ZipWriter1->OnNoSuchFile = [this](archive::TZipWriter*, const QString& name) {
        failures_ << name + QStringLiteral(": could not be read");
    };
    // The files written into the archive: those left out (the archive itself among the
    // catalog's files, a file that cannot be read) are not counted.
    int added = 0;
    QString error;
    const bool ok = runWithProgress(*ZipWriter1, [&] {
        ZipWriter1->SetZipName(target);
        added = ZipWriter1->Zip();
    }, error);
    ZipWriter1->OnNoSuchFile = nullptr;
    if (!ok) {
        ownMessage(error);
        return;
    }
    ownMessage(QStringLiteral("Added ") + QString::number(added) + QStringLiteral(" files"));
    if (!failures_.isEmpty())
        ownMessage(QStringLiteral("These files were not added:\n") + failures_.join(u'\n'));
}

void TFormZip::ButtonUnZipClick()
{
    if (running_ || !catalogOpen())
        return;
    const QString name = Edit1->text();
    if (!QFileInfo::exists(name))
        return;
    // No window may later write older text over a restored note or page.
    if (!saveOpenEditors())
        return;
    QString dest = FormSlova->ProjectPath;
    if (dest.endsWith(u'/') && dest.size() > 1)
        dest.chop(1);
    // An extraction cut short (a killed program) left its hidden part files in the catalog.
    if (!FormSlova->ReadOnlyMode())
        archive::RemoveLeftoverPartFiles(dest, app::runStartTime());
    // The files extracted, also when a cancel or an error ends the run.
    int n = 0;
    bool extracting = false;
    ZipReader1->OnUnZipComplete = [&](archive::TZipReader*, int done) {
        n = done;
        extracting = true;
    };
    QString error;
    const bool ok = runWithProgress(*ZipReader1, [&] {
        ZipReader1->SetZipName(name);
        ZipReader1->SetDestDir(dest);
        ZipReader1->UnZip();
    }, error);
    ZipReader1->OnUnZipComplete = nullptr;
    // Whatever happened, the tree on screen must be the one on disk now: the tree in memory
    // would otherwise be written over a restored tree file at shut-down.
    FormSlova->CurrentFile.clear();
    FormSlova->CurrentNodeText.clear();
    FormSlova->LoadMenue();
    const QString extracted = QStringLiteral("Extracted ") + QString::number(n) + QStringLiteral(" files");
    if (!ok) {
        ownMessage(extracting ? error + u'\n' + extracted : error);
        return;
    }
    ownMessage(extracted);
    if (!failures_.isEmpty())
        ownMessage(QStringLiteral("These members were not extracted:\n") + failures_.join(u'\n'));
}
