// Main window command on a page's header: the tree category line.
#include "UnitSlova.h"

#include "platform/dialogs/Dialogs.h"
#include "web/PageHeader.h"

#include <QTreeWidget>

bool TFormSlova::LoadTreeKategory()
{
    if (ReadOnlyMode() || NoCatalog)
        return true;
    // The ancestors of the selected node from the top level down, each followed by "/"; a
    // top-level node has none and gets an empty category.
    QString category;
    if (QTreeWidgetItem* item = Tree1->currentItem())
        for (QTreeWidgetItem* p = item->parent(); p; p = p->parent())
            category.prepend(p->text(0) + QLatin1Char('/'));

    const QString path = nodePageFile(ProjectPath, CurrentNodeText,
                                      {QStringLiteral(".shtm"), QStringLiteral(".htm"), QStringLiteral(".html")});
    if (path.isEmpty())
        return true;
    bool ok = true;
    const QByteArray line = makeHeaderLine(HeaderLines::TreeKategory, category, &ok);
    if (!ok) {
        platform::dialogs().message(QStringLiteral("The category \"%1\" cannot be written into a page header: "
                                                   "Windows-1251 has no code for %2")
                                        .arg(category, charsOutside1251(category)),
                                    QString(), platform::MsgButtons::Ok, platform::MsgIcon::Error);
        return false;
    }
    PageHead head = readPageHead(path);
    QList<QByteArray> lines = head.lines;
    bool placed = false;
    for (QByteArray& l : lines) {
        if (l.startsWith("<!-- TreeKategory")) {
            if (l == line)
                return true;
            l = line;
            placed = true;
            break;
        }
    }
    if (!placed)
        lines.prepend(line);
    QString error;
    if (!writePageHead(path, lines, &error)) {
        platform::dialogs().message(error, QString(), platform::MsgButtons::Ok, platform::MsgIcon::Error);
        return false;
    }
    return true;
}
