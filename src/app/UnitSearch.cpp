// The node search window: the search over the tree file and the selection of a hit.
#include "UnitSearch.h"

#include "TreeFile.h"
#include "UnitSlova.h"
#include "platform/dialogs/Dialogs.h"
#include "platform/text/CodePage.h"
#include "platform/text/LineList.h"

#include <QEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QTreeWidget>
#include <QVBoxLayout>

TFormSearch* FormSearch = nullptr;

namespace {
bool isBlank(QChar c) { return c.unicode() <= ' '; }

// The same folding on the Windows-1251 bytes of a line, so that the lines that do not match
// are never decoded: "A"-"Z" lowered, a first byte 192-223 ("А"-"Я") + 32.
QByteArrayView foldedBytes(QByteArrayView line, QByteArray& buf)
{
    qsizetype b = 0, e = line.size();
    while (b < e && quint8(line[b]) <= ' ')
        ++b;
    while (e > b && quint8(line[e - 1]) <= ' ')
        --e;
    buf.resize(e - b);
    char* out = buf.data();
    for (qsizetype i = b; i < e; ++i) {
        const char c = line[i];
        *out++ = (c >= 'A' && c <= 'Z') ? char(c + 32) : c;
    }
    if (!buf.isEmpty() && quint8(buf[0]) >= 192 && quint8(buf[0]) <= 223)
        buf[0] = char(quint8(buf[0]) + 32);
    return QByteArrayView(buf);
}
} // namespace

QString searchForm(const QString& text)
{
    qsizetype b = 0, e = text.size();
    while (b < e && isBlank(text[b]))
        ++b;
    while (e > b && isBlank(text[e - 1]))
        --e;
    QString s = text.mid(b, e - b);
    for (QChar& c : s)
        if (c >= u'A' && c <= u'Z')
            c = QChar(c.unicode() + 32);
    if (!s.isEmpty() && s[0] >= QChar(0x0410) && s[0] <= QChar(0x042F))
        s[0] = QChar(s[0].unicode() + 32);
    return s;
}

QStringList findNodeLines(const QList<QByteArray>& treeLines, const QString& key)
{
    QStringList hits;
    const QString k = searchForm(key);
    if (k.isEmpty())
        return hits;
    // A key that Windows-1251 cannot hold matches no line of a tree file.
    if (!platform::canEncode(platform::CodePage::Windows1251, k))
        return hits;
    const QByteArray kb = platform::toCp1251(k);
    QByteArray buf;
    for (qsizetype n = 0; n < treeLines.size(); ++n) {
        const QByteArrayView folded = foldedBytes(treeLines[n], buf);
        if (folded.indexOf(kb) < 0)
            continue;
        hits.append(platform::fromCp1251(folded) + QStringLiteral(" <") + QString::number(n) + QLatin1Char('>'));
    }
    return hits;
}

QTreeWidgetItem* nodeOfHit(const QTreeWidget* tree, const QString& hitLine)
{
    QString line = hitLine.trimmed();
    line.chop(1); // the closing ">"
    const qsizetype lt = line.lastIndexOf(QLatin1Char('<'));
    if (lt < 0)
        return nullptr;
    bool ok = false;
    const qlonglong number = line.mid(lt + 1, 10).toLongLong(&ok);
    // The text before " <n>" is the hit's search form.
    const QString form = line.left(lt).chopped(lt > 0 ? 1 : 0);
    if (ok && number >= 0 && number < INT_MAX) {
        QTreeWidgetItem* n = treefile::nodeAt(tree, int(number));
        if (n && searchForm(n->text(0)) == form)
            return n;
    }
    for (QTreeWidgetItem* n : treefile::allNodes(tree))
        if (searchForm(n->text(0)) == form)
            return n;
    return nullptr;
}

TFormSearch::TFormSearch() : TForm(QStringLiteral("FormSearch"))
{
    setWindowTitle(QStringLiteral("Search form"));
    auto* v = new QVBoxLayout(this);
    v->setSpacing(5);
    v->addWidget(new QLabel(QStringLiteral("Search form"), this));
    Edit1 = new QLineEdit(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    ListFind = new QListWidget(this);
    ListFind->setObjectName(QStringLiteral("ListFind"));
    // Equal rows: fifty thousand hits are listed without measuring each.
    ListFind->setUniformItemSizes(true);
    Button3 = new QPushButton(QStringLiteral("Close"), this);
    Button3->setObjectName(QStringLiteral("Button3"));
    Button3->setAutoDefault(false);
    v->addWidget(Edit1);
    v->addWidget(ListFind, 1);
    v->addWidget(Button3);
    Edit1->installEventFilter(this);
    connect(Button3, &QPushButton::clicked, this, &TFormSearch::Button3Click);
    connect(ListFind, &QListWidget::itemClicked, this, &TFormSearch::ListFindClick);
    resize(300, 320);
    const QRect s = QGuiApplication::primaryScreen()->geometry();
    move((s.width() - width()) / 2, (s.height() - height()) / 4 * 2);
}

bool TFormSearch::eventFilter(QObject* o, QEvent* e)
{
    // Every key released in the box searches again, also one that did not change the text.
    if (o == Edit1 && e->type() == QEvent::KeyRelease)
        Find_the_key();
    return TForm::eventFilter(o, e);
}

void TFormSearch::Find_the_key()
{
    ListFind->clear();
    if (searchForm(Edit1->text()).isEmpty() || !FormSlova)
        return;
    const QString file = FormSlova->CatalogFile(FormSlova->CurrentLayer);
    if (!QFileInfo::exists(file)) {
        platform::dialogs().message(QStringLiteral("File CURRENT MENUE not exists"));
        return;
    }
    QList<QByteArray> lines;
    QString error;
    if (!platform::loadLines(file, lines, &error)) {
        platform::dialogs().message(error, QString(), platform::MsgButtons::Ok, platform::MsgIcon::Error);
        return;
    }
    ListFind->addItems(findNodeLines(lines, Edit1->text()));
}

void TFormSearch::ListFindClick()
{
    QListWidgetItem* it = ListFind->currentItem();
    if (!it || !FormSlova)
        return;
    if (QTreeWidgetItem* node = nodeOfHit(FormSlova->Tree1, it->text())) {
        for (QTreeWidgetItem* p = node->parent(); p; p = p->parent())
            p->setExpanded(true);
        FormSlova->Tree1->setCurrentItem(node);
        FormSlova->Tree1->scrollToItem(node);
    }
    close();
}
