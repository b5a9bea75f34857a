// Tree file reading: any bytes give a tree or the designed error, and a tree read whole is
// written back so that reading it again gives the same lines.
#include "app/TreeFile.h"
#include "platform/text/LineList.h"

#include <QApplication>
#include <QTreeWidget>

#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QList<QByteArray> lines = platform::splitLines(QByteArrayView(data, qsizetype(size)));
    treefile::ReadResult r = treefile::parseLines(lines);
    QTreeWidget tree;
    tree.addTopLevelItems(r.topLevel);
    if (!r.error.isEmpty() && !r.error.startsWith(QLatin1String("Invalid level (")))
        std::abort();
    QList<QByteArray> written;
    QString err;
    if (!treefile::treeLines(&tree, written, &err))
        std::abort(); // every Windows-1251 text can be written back
    if (written.size() != r.nodes.size())
        std::abort();
    treefile::ReadResult again = treefile::parseLines(written);
    QTreeWidget tree2;
    tree2.addTopLevelItems(again.topLevel);
    QList<QByteArray> rewritten;
    treefile::treeLines(&tree2, rewritten, &err);
    if (!again.error.isEmpty() || rewritten != written)
        std::abort();
    return 0;
}
