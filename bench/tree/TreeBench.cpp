// Loading a tree file of 100,000 nodes into the main window's tree with its icon index file,
// and saving both. Targets on the reference machine: load + icons under 1 s, save under 0.5 s.
// The peer is the bare read and split of the same file, the floor any loader pays.
#include "app/TreeFile.h"
#include "app/UnitSlova.h"
#include "platform/text/LineList.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <benchmark/benchmark.h>

#include <random>

namespace {

constexpr int kNodes = 100000;

struct Files {
    QTemporaryDir dir;
    QString tree, ind;
    Files()
    {
        tree = dir.filePath("Menue");
        ind = dir.filePath("Menue_ind");
        std::mt19937 rng(42);
        QList<QByteArray> lines, icons;
        int depth = 0;
        for (int i = 0; i < kNodes; ++i) {
            // Wander up and down between depth 0 and 6, never more than one level deeper.
            const int r = int(rng() % 10);
            if (i > 0 && r < 3 && depth < 6)
                ++depth;
            else if (r > 6 && depth > 0)
                depth -= 1 + int(rng() % depth);
            lines.append(QByteArray(depth, '\t') + "Node \xcd\xee\xe4 " + QByteArray::number(i));
            icons.append(QByteArray::number(int(rng() % 20)));
        }
        platform::saveLines(tree, lines);
        platform::saveLines(ind, icons);
    }
};

Files& files()
{
    static Files f;
    return f;
}

void loadWithIcons(QTreeWidget& tree)
{
    QList<QTreeWidgetItem*> nodes;
    QString err;
    treefile::loadTree(&tree, files().tree, &err, &nodes);
    QList<QByteArray> icons;
    platform::loadLines(files().ind, icons);
    treefile::applyIconLines(nodes, icons);
    tree.viewport()->update();
    if (nodes.size() != kNodes || !err.isEmpty())
        std::abort();
}

void BM_LoadTreeAndIcons(benchmark::State& state)
{
    QTreeWidget tree;
    tree.setUniformRowHeights(true);
    tree.resize(300, 600);
    tree.show();
    for (auto _ : state) {
        loadWithIcons(tree);
        QCoreApplication::processEvents(); // the view lays out and paints the visible rows
    }
}
BENCHMARK(BM_LoadTreeAndIcons)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_SaveTreeAndIcons(benchmark::State& state)
{
    QTreeWidget tree;
    tree.setUniformRowHeights(true);
    loadWithIcons(tree);
    const QString out = files().dir.filePath("Saved");
    for (auto _ : state) {
        QString err;
        if (!treefile::saveTree(&tree, out, &err))
            std::abort();
        platform::saveLines(out + "_ind", treefile::iconLines(treefile::allNodes(&tree)));
    }
}
BENCHMARK(BM_SaveTreeAndIcons)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// The main window's own road: a catalog load of the tree with its icons into the shown window,
// then the shut-down's save of layer list, tree and icon index file.
void BM_MainWindowLoadAndSave(benchmark::State& state)
{
    QTemporaryDir cfg;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(cfg.path()));
    const QString catalog = files().dir.path() + QStringLiteral("/");
    QFile::remove(catalog + QStringLiteral("CurrentMenue"));
    platform::saveLines(catalog + QStringLiteral("CurrentMenue"), {"Menue"});
    platform::saveLines(catalog + QStringLiteral("dir"), {"Project1\\"});
    TFormSlova w;
    w.ProgramDir = catalog;
    w.CurrentLayer = QStringLiteral("Menue");
    w.show();
    for (auto _ : state) {
        w.ProjectPath = catalog;
        w.LoadMenue();
        QCoreApplication::processEvents();
        if (treefile::nodeCount(w.Tree1) != kNodes)
            std::abort();
        w.FormDestroy();
    }
}
BENCHMARK(BM_MainWindowLoadAndSave)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_PeerReadAndSplit(benchmark::State& state)
{
    for (auto _ : state) {
        QList<QByteArray> a, b;
        platform::loadLines(files().tree, a);
        platform::loadLines(files().ind, b);
        benchmark::DoNotOptimize(a.size() + b.size());
    }
}
BENCHMARK(BM_PeerReadAndSplit)->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The main window holds a web engine view, which refuses to start as root with its sandbox.
    if (qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
