// Page tools on the page shown in the main window: neutralising script and style words, cutting
// the text before a selection and undoing it, a child node from a selected link, marking the page
// for download again, and the page's links in the link list.
#include "PageTools.h"

#include "TreeFile.h"
#include "UnitSlova.h"
#include "platform/dialogs/Dialogs.h"
#include "platform/files/AtomicFile.h"
#include "platform/text/CodePage.h"
#include "platform/web/BrowserControl.h"
#include "web/LinkList.h"
#include "web/PageHeader.h"
#include "web/UnitHtmlKategory.h"
#include "web/U_Internet.h"
#include "web/Unit_kyes.h"

#include <QAction>
#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QStringEncoder>
#include <QTreeWidget>

#include <algorithm>
#include <cstring>
#include <vector>

namespace pagetools {

namespace {
// Every start of a word in data, in order.
void occurrences(QByteArrayView data, QByteArrayView word, std::vector<qsizetype>& out)
{
    const char* base = data.data();
    const char* p = base;
    const char* end = base + data.size();
    while (p < end) {
        const void* hit = memmem(p, size_t(end - p), word.data(), size_t(word.size()));
        if (!hit)
            break;
        const char* at = static_cast<const char*>(hit);
        out.push_back(at - base);
        p = at + word.size();
    }
}
} // namespace

QByteArray neutralise(QByteArrayView page, bool* changed)
{
    // No word holds a line break, so lines need not be split. The on-words never overlap one
    // another, and a mark can only break another word where "function" ends in their "on"; the
    // on-words are found first, so there they keep the mark and "function" loses its occurrence.
    static constexpr QByteArrayView onWords[] = {"onmousedown", "onclick", "onmouseover", "onmouseout"};
    static constexpr QByteArrayView others[] = {"style", "script", "JavaScript"};
    std::vector<qsizetype> starts;
    for (QByteArrayView w : onWords)
        occurrences(page, w, starts);
    std::sort(starts.begin(), starts.end());
    const std::size_t onCount = starts.size();
    {
        std::vector<qsizetype> fn;
        occurrences(page, "function", fn);
        for (qsizetype p : fn) {
            // An on-word starting inside "function" puts its mark inside it first.
            auto it = std::lower_bound(starts.begin(), starts.begin() + qsizetype(onCount), p);
            if (it == starts.begin() + qsizetype(onCount) || *it >= p + 7)
                starts.push_back(p);
        }
    }
    for (QByteArrayView w : others)
        occurrences(page, w, starts);
    std::sort(starts.begin(), starts.end());
    // The mark goes right after each word's first letter.
    std::vector<qsizetype>& marks = starts;
    for (qsizetype& m : marks)
        m += 1;
    if (changed)
        *changed = !marks.empty();
    if (marks.empty())
        return page.toByteArray();
    QByteArray out;
    out.resize(page.size() + qsizetype(marks.size()));
    char* dst = out.data();
    qsizetype from = 0;
    for (qsizetype m : marks) {
        std::memcpy(dst, page.data() + from, size_t(m - from));
        dst += m - from;
        *dst++ = '#';
        from = m;
    }
    std::memcpy(dst, page.data() + from, size_t(page.size() - from));
    return out;
}

QByteArray encodeAs(const QString& text, const QString& encoding)
{
    const QString e = encoding.trimmed().toLower();
    if (e.isEmpty() || e == QLatin1String("windows-1251") || e == QLatin1String("cp1251")) {
        bool ok = true;
        QByteArray b = platform::toCp1251(text, &ok);
        return ok ? b : QByteArray();
    }
    if (e == QLatin1String("utf-8"))
        return text.toUtf8();
    QStringEncoder enc(encoding.toLatin1().constData());
    if (!enc.isValid())
        return QByteArray();
    QByteArray b = enc(text);
    return enc.hasError() ? QByteArray() : b;
}

CutResult cutBefore(const QByteArray& page, QByteArrayView selection)
{
    CutResult r;
    if (selection.isEmpty() || selection.contains('\n') || selection.contains('\r'))
        return r;
    QByteArray copy = page; // shares the data
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    const PageHead head = readPageHead(buffer);
    if (head.wide)
        return r;
    const qsizetype body = qsizetype(head.bodyOffset);
    // The body's second line: the search begins there.
    qsizetype i = body;
    const qsizetype n = page.size();
    while (i < n && page[i] != '\n' && page[i] != '\r')
        ++i;
    if (i < n && page[i] == '\r')
        ++i;
    if (i < n && page[i] == '\n')
        ++i;
    const qsizetype at = page.indexOf(selection, i);
    if (at < 0)
        return r;
    r.found = true;
    r.page.reserve(body + (n - at));
    r.page.append(page.constData(), body);
    r.page.append(page.constData() + at, n - at);
    return r;
}

QString childNodeText(const QString& taskName) { return taskName.size() > 100 ? taskName.right(101) : taskName; }

} // namespace pagetools

// ---------------------------------------------------------------- the handlers

namespace {
const QString kNotFound = QStringLiteral("Do not find selection. Please select text befor you want delete tags");

void notice(const QString& text)
{
    platform::dialogs().message(text, QString(), platform::MsgButtons::Ok, platform::MsgIcon::Information);
}

void failure(const QString& text)
{
    platform::dialogs().message(text, QString(), platform::MsgButtons::Ok, platform::MsgIcon::Error);
}

// Marks a page tool as running: timers and a second page tool wait while it waits for the engine.
class Busy {
public:
    explicit Busy(bool& flag) : flag_(flag) { flag_ = true; }
    ~Busy() { flag_ = false; }
    Busy(const Busy&) = delete;
    Busy& operator=(const Busy&) = delete;

private:
    bool& flag_;
};

bool isPageFile(const QString& path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    return suffix == QLatin1String("htm") || suffix == QLatin1String("html");
}
} // namespace

QString TFormSlova::PageBackupDir() const { return ProgramDir + QStringLiteral("temp/pagetools/"); }

void TFormSlova::DeleteStyleHTMLClick()
{
    if (ReadOnlyMode() || NoCatalog || CurrentFile.isEmpty() || pageToolBusy_)
        return;
    QByteArray page;
    QString error;
    if (!platform::readWholeFile(CurrentFile, page, &error)) {
        failure(error);
        return;
    }
    bool changed = false;
    const QByteArray out = pagetools::neutralise(page, &changed);
    page.clear();
    if (changed && !platform::writeFileAtomic(CurrentFile, out, &error)) {
        failure(error);
        return;
    }
    NavigateCurrentFile();
}

void TFormSlova::ButtonDelSelection1Click()
{
    if (ReadOnlyMode() || NoCatalog || CurrentFile.isEmpty() || pageToolBusy_)
        return;
    Busy busy(pageToolBusy_);
    const QString selected = WB1->selectedText();
    if (selected.isEmpty()) {
        notice(QStringLiteral("Please select text."));
        return;
    }
    // After a link was followed inside the pane, the selection belongs to another page.
    if (!WB1->url().isLocalFile() || WB1->url().toLocalFile() != CurrentFile) {
        notice(kNotFound);
        return;
    }
    const QByteArray needle = pagetools::encodeAs(selected, WB1->documentEncoding());
    const QString file = CurrentFile;
    QByteArray page;
    QString error;
    if (!platform::readWholeFile(file, page, &error)) {
        failure(error);
        return;
    }
    const pagetools::CutResult cut = pagetools::cutBefore(page, needle);
    if (!cut.found) {
        notice(kNotFound); // the backup of an earlier cut stays
        return;
    }
    const QString dir = PageBackupDir();
    if (!QDir().mkpath(dir) || !platform::writeOwnFileAtomic(dir + QStringLiteral("temp"), page, &error)) {
        failure(QStringLiteral("The backup of the page cannot be written to \"%1\"%2. The page is unchanged.")
                    .arg(dir + QStringLiteral("temp"), error.isEmpty() ? QString() : QStringLiteral(": ") + error));
        return;
    }
    backupPage_ = file;
    backupSize_ = page.size();
    if (!platform::writeFileAtomic(file, cut.page, &error)) {
        failure(error);
        return;
    }
    ButtonReturn->setVisible(true);
    NavigateCurrentFile();
}

void TFormSlova::ButtonReturn1Click()
{
    if (ReadOnlyMode() || NoCatalog || pageToolBusy_)
        return;
    if (backupPage_.isEmpty()) {
        notice(QStringLiteral("There is no deleted text to give back."));
        return;
    }
    const QString backup = PageBackupDir() + QStringLiteral("temp");
    QByteArray data;
    QString error;
    // Only the whole backup of this page may replace it.
    if (!platform::readWholeFile(backup, data, &error) || data.size() != backupSize_) {
        failure(QStringLiteral("The backup \"%1\" cannot be read whole; the page \"%2\" is left as it is.")
                    .arg(backup, backupPage_));
        return;
    }
    if (!platform::writeFileAtomic(backupPage_, data, &error)) {
        failure(error);
        return;
    }
    if (backupPage_ == CurrentFile)
        NavigateCurrentFile();
}

void TFormSlova::DownloadselectedURL1Click()
{
    if (ReadOnlyMode() || NoCatalog || pageToolBusy_)
        return;
    Busy busy(pageToolBusy_);
    if (!WB1->hasDocument()) {
        notice(QStringLiteral("The is no document"));
        return;
    }
    const QString selected = WB1->selectedText();
    if (selected.isEmpty()) {
        notice(QStringLiteral("Please select text."));
        return;
    }
    const QString tag = QStringLiteral("A");
    const QList<platform::BrowserControl::Element> anchors = WB1->elements(tag);
    // As in the link list: local files only from the user's own local page, and no link at all
    // from a local document that is not a page (its transformation may have made it of its path).
    const QUrl shown = WB1->url();
    const bool document = !shown.isLocalFile() || platform::isPageFileName(shown.toLocalFile());
    const bool localFiles = shown.isLocalFile() && links::ownLocalPage(shown.toLocalFile());
    auto taken = [&](const QString& href) { return document && (localFiles || !links::isLocalAddress(href)); };
    QList<int> matching;
    QString address;
    for (int i = 0; i < anchors.size(); ++i)
        if (anchors.at(i).text.contains(selected) && taken(anchors.at(i).href)) {
            matching.append(i);
            address = anchors.at(i).href;
        }
    if (matching.isEmpty()) {
        notice(QStringLiteral("Please select URL again."));
        return;
    }
    if (matching.size() == 1) {
        if (Form_keys)
            Form_keys->UrlOrTaskName = address;
        MakeChildNodeClick();
        return;
    }
    // Numbered marks in the shown page only, so the user can select one link unambiguously.
    for (int k = 0; k < matching.size(); ++k)
        WB1->setElementText(tag, matching.at(k), anchors.at(matching.at(k)).text + QStringLiteral("N%1").arg(k + 1));
    notice(QStringLiteral("Find more then one selecrion."));
}

void TFormSlova::MakeChildNodeClick()
{
    if (ReadOnlyMode() || NoCatalog || !Form_keys)
        return;
    bool failed = false;
    const QString name = Form_keys->MakeTaskForUrl(Form_keys->UrlOrTaskName, &failed);
    if (name.isEmpty()) {
        if (!failed) // a failed write has shown its own message
            notice(QStringLiteral("File whth this URL olready exists"));
        return;
    }
    QTreeWidgetItem* parent = Tree1->currentItem();
    if (!parent)
        return;
    QTreeWidgetItem* current = treefile::nodeAt(Tree1, CurrentIndex);
    auto* child = new TTreeNode(pagetools::childNodeText(name));
    parent->insertChild(0, child);
    child->setImages(19, 39);
    // The new node moves the nodes after it; the current node keeps its place by identity.
    if (current)
        CurrentIndex = treefile::absoluteIndex(current);
}

void TFormSlova::ButtonReReadFileClick()
{
    // On a note the header editor would make a stray ".shtm" file holding a download mark.
    if (ReadOnlyMode() || NoCatalog || pageToolBusy_ || CurrentFile.isEmpty() || !isPageFile(CurrentFile))
        return;
    if (FormHTMLKategory)
        FormHTMLKategory->ReLoad1Click();
    // The node of the page: CurrentIndex while it still names it, else the node with its text.
    QTreeWidgetItem* node = treefile::nodeAt(Tree1, CurrentIndex);
    if (!node || node->text(0) != CurrentNodeText) {
        node = nullptr;
        for (QTreeWidgetItem* n : treefile::allNodes(Tree1))
            if (n->text(0) == CurrentNodeText) {
                node = n;
                break;
            }
    }
    if (node && node->type() == TTreeNode::Type)
        static_cast<TTreeNode*>(node)->setImages(19, 39);
}

void TFormSlova::DownloadAllurls1Click()
{
    if (CurrentFile.isEmpty() || !FormI)
        return;
    FormI->EditURL->setText(CurrentFile);
    FormI->ButtonLoadLinksClick();
    // The page header editor stays on top: the link list must not open under it, its menu hidden.
    showAbove(FormI, FormHTMLKategory);
}
