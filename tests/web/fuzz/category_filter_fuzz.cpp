// The category filter's tree from arbitrary header lines: the entry, its categories and the
// tree made of them must come out without crashing, each line of the tree at most one level
// below the line before it, the first at the top.
#include "web/CategoryFilter.h"
#include "platform/text/CodePage.h"

#include <QCoreApplication>

#include <cstdlib>

using namespace filtr;

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Header lines as the filter reads them: Windows-1251, one a line.
    const QStringList lines =
        platform::fromCp1251(QByteArrayView(data, qsizetype(size))).split(QLatin1Char('\n'));
    QStringList entries;
    for (const QString& l : lines)
        entries << entryCategories(entryText(l));
    const QList<TreeLine> tree = Maketree(entries);
    int prev = -1;
    for (const TreeLine& t : tree) {
        if (t.depth < 0 || t.depth > prev + 1)
            std::abort();
        prev = t.depth;
    }
    (void)treeText(tree);
    return 0;
}
