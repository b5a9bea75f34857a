// Page headers: what the three value readers return for a file, the category tree of a folder,
// and (without arguments) the benchmark: the category filter over 10,000 pages, the readers on
// a 1 GB page and the header editor's load and save of a 50 MB page.
//   header-bench value FILE KEY
//   header-bench tree FOLDER [--mark PATH]...
// Targets on the reference machine: FFillTree under 1 s, FindFiles with 20 marked categories
// under 0.3 s; ReadHeaderValue and FindKomand on 1 GB under 10 ms and 20 MB; editor load and
// save of 50 MB under 0.5 s. The peer reads the first 4 KB of every page, the floor any header
// reader pays.
#include "platform/text/CodePage.h"
#include "web/CategoryFilter.h"
#include "web/PageHeader.h"
#include "web/UnitFiltr.h"

#include <QApplication>
#include <QFile>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <random>

namespace {

void out(const QString& s) { std::fputs((s + QLatin1Char('\n')).toUtf8().constData(), stdout); }

int valueMode(const QString& file, const QString& key)
{
    int readMark = 0, linkMark = 0;
    out(QStringLiteral("FindKomand: ") + FindKomand(file, key));
    out(QStringLiteral("ReadHeaderValue: %1 (download mark %2)").arg(ReadHeaderValue(file, key, readMark)).arg(readMark));
    out(QStringLiteral("ReadLinkHeaderValue: %1 (download mark %2)").arg(ReadLinkHeaderValue(file, key, linkMark)).arg(linkMark));
    return 0;
}

int treeMode(QString folder, const QStringList& marks)
{
    if (!folder.endsWith(u'/'))
        folder += u'/';
    const filtr::CatalogHeaders h = filtr::readCatalog(folder);
    const QList<filtr::TreeLine> tree = filtr::Maketree(h.categories());
    for (const QString& l : filtr::treeText(tree))
        out(l);
    if (marks.isEmpty())
        return 0;
    // A mark names a node by its path; the search looks for the marked nodes' texts.
    QStringList texts;
    QStringList stack;
    for (const filtr::TreeLine& l : tree) {
        stack.resize(l.depth);
        stack << l.text;
        if (marks.contains(stack.join(u'/')))
            texts << l.text;
    }
    int rc = 0;
    for (const QString& m : marks)
        if (!texts.contains(m.section(u'/', -1))) {
            std::fprintf(stderr, "no category %s\n", qPrintable(m));
            rc = 1;
        }
    out(QString());
    out(QStringLiteral("Files:"));
    for (const QString& f : filtr::findFiles(h, folder, texts))
        out(f);
    return rc;
}

// ---- benchmark

constexpr int kPages = 10000;

struct Catalog {
    QTemporaryDir dir;
    QString path;
    QStringList marks; // 20 category texts
    Catalog()
    {
        path = dir.path() + QLatin1Char('/');
        std::mt19937 rng(7);
        QByteArray body;
        const QByteArray word = platform::toCp1251(u"Слово текста ");
        while (body.size() < 20 * 1024)
            body += word;
        body = "<html><body>" + body + "</body></html>\r\n";
        for (int i = 0; i < kPages; ++i) {
            QByteArray page;
            auto kw = [&] { return "kw" + QByteArray::number(int(rng() % 2000)); };
            const QByteArray cat = platform::toCp1251(QStringLiteral("Раздел%1/Тема%2/").arg(rng() % 25).arg(rng() % 20));
            page += "<!-- UserKeywords=\"" + kw() + "," + kw() + "," + kw() + "\" -->\r\n";
            page += "<!-- UserDescription=\"Page " + QByteArray::number(i) + "\" -->\r\n";
            page += "<!-- TreeKategory=\"" + cat + "\"-->\r\n";
            page += "<!-- DownloadURL=\"http://site" + QByteArray::number(i % 300) + ".example/p/" + QByteArray::number(i) + ".htm\" -->\r\n";
            page += "<!-- SearchWords=\"" + kw() + "\"-->\r\n";
            page += "<!-- DataTime=\"07.12.2026/10:15:00\" -->\r\n";
            page += "<!-- Date/Time= 07.12.2026 10:15:00 -->\r\n";
            page += "<!-- UserKeywords=\"" + kw() + ";" + kw() + "\" -->\r\n";
            page += "<!-- UserKategory=\"" + cat + "\" -->\r\n";
            page += "<!-- StopList -->\r\n";
            page += i % 3 ? "<!-- DownloadPage=\"True\"-->\r\n" : "<!-- HidePage=\"True\"-->\r\n";
            page += "<!-- saved from url=(0022)http://example.com/ -->\r\n";
            QFile f(path + QStringLiteral("page%1.htm").arg(i));
            f.open(QIODevice::WriteOnly);
            f.write(page + body);
        }
        for (int i = 0; i < 20; ++i)
            marks << QStringLiteral("kw%1").arg(i * 97);
    }
};

Catalog& catalog()
{
    static Catalog c;
    return c;
}

long peakKb()
{
    QFile f(QStringLiteral("/proc/self/status"));
    f.open(QIODevice::ReadOnly);
    for (const QByteArray& l : f.readAll().split('\n'))
        if (l.startsWith("VmHWM:"))
            return l.mid(6).trimmed().split(' ').first().toLong();
    return 0;
}

struct HugePage {
    QTemporaryDir dir;
    QString path;
    HugePage()
    {
        path = dir.filePath(QStringLiteral("huge.htm"));
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write("<!-- DownloadPage=\"True\"-->\r\n<!-- DownloadURL=\"http://example.com/big\" -->\r\n"
                "<!-- TreeKategory=\"A/\"-->\r\n<html>\r\n");
        f.resize(qint64(1) << 30); // a sparse gigabyte: the body is never read
    }
};

HugePage& huge()
{
    static HugePage h;
    return h;
}

void BM_ReadHeaderValue_1GB(benchmark::State& st)
{
    const QString p = huge().path;
    const long before = peakKb();
    int mark = 0;
    for (auto _ : st)
        benchmark::DoNotOptimize(ReadHeaderValue(p, QStringLiteral("DownloadURL"), mark));
    st.counters["peak_growth_kB"] = double(peakKb() - before);
}
BENCHMARK(BM_ReadHeaderValue_1GB)->Unit(benchmark::kMillisecond);

void BM_FindKomand_1GB(benchmark::State& st)
{
    const QString p = huge().path;
    const long before = peakKb();
    for (auto _ : st)
        benchmark::DoNotOptimize(FindKomand(p, QStringLiteral("TreeKategory")));
    st.counters["peak_growth_kB"] = double(peakKb() - before);
}
BENCHMARK(BM_FindKomand_1GB)->Unit(benchmark::kMillisecond);

void BM_EditorLoadSave_50MB(benchmark::State& st)
{
    QTemporaryDir dir;
    const QString p = dir.filePath(QStringLiteral("page.htm"));
    QByteArray page = "<!-- DownloadURL=\"http://example.com/\" -->\r\n<!-- UserKeywords=\"a\" -->\r\n";
    page += QByteArray(50 * 1024 * 1024, 'x');
    QFile f(p);
    f.open(QIODevice::WriteOnly);
    f.write(page);
    f.close();
    for (auto _ : st) {
        PageHead h = readPageHead(p);
        h.lines.append(HeaderLines::UserDescription);
        QString err;
        if (!writePageHead(p, h.lines, &err))
            st.SkipWithError(qPrintable(err));
        h.lines.removeLast();
        writePageHead(p, h.lines, &err);
    }
    st.SetLabel("one iteration = two loads and saves");
}
BENCHMARK(BM_EditorLoadSave_50MB)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_Peer_First4KB(benchmark::State& st)
{
    const Catalog& c = catalog();
    const QStringList files = filtr::pageFiles(c.path);
    for (auto _ : st) {
        qint64 total = 0;
        for (const QString& name : files) {
            QFile f(name);
            if (f.open(QIODevice::ReadOnly))
                total += f.read(4096).size();
        }
        benchmark::DoNotOptimize(total);
    }
}
BENCHMARK(BM_Peer_First4KB)->Unit(benchmark::kMillisecond);

void BM_FFillTree(benchmark::State& st)
{
    const Catalog& c = catalog();
    TFormFiltr w;
    w.FiltrPath = c.path;
    for (auto _ : st)
        w.FFillTree();
    st.counters["pages"] = double(w.HtmlFiles.size());
    st.counters["top_nodes"] = double(w.TreeKat->topLevelItemCount());
}
BENCHMARK(BM_FFillTree)->Unit(benchmark::kMillisecond);

void BM_FindFiles_20Marks(benchmark::State& st)
{
    const Catalog& c = catalog();
    TFormFiltr w;
    w.FiltrPath = c.path;
    w.FFillTree();
    QTreeWidgetItem* kw = nullptr;
    for (int i = 0; i < w.TreeKat->topLevelItemCount(); ++i)
        if (w.TreeKat->topLevelItem(i)->text(0) == QLatin1String("UserKeywords"))
            kw = w.TreeKat->topLevelItem(i);
    int marked = 0;
    for (int i = 0; kw && i < kw->childCount(); ++i)
        if (c.marks.contains(kw->child(i)->text(0))) {
            w.TreeKat->setCurrentItem(kw->child(i));
            w.Select1Click();
            ++marked;
        }
    for (auto _ : st)
        w.FindFiles();
    st.counters["marked"] = marked;
    st.counters["files"] = double(w.ListFiles->count());
}
BENCHMARK(BM_FindFiles_20Marks)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? QByteArray("offscreen") : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 4 && args[1] == QLatin1String("value"))
        return valueMode(args[2], args[3]);
    if (args.size() >= 3 && args[1] == QLatin1String("tree")) {
        QStringList marks;
        for (int i = 3; i < args.size(); ++i) {
            if (args[i] == QLatin1String("--mark") && i + 1 < args.size())
                marks << args[++i];
            else {
                std::fprintf(stderr, "usage: header-bench tree FOLDER [--mark PATH]...\n");
                return 2;
            }
        }
        return treeMode(args[2], marks);
    }
    if (args.size() > 1 && !args[1].startsWith(QLatin1String("--benchmark"))) {
        std::fprintf(stderr, "usage: header-bench value FILE KEY | tree FOLDER [--mark PATH]... | [benchmark options]\n");
        return 2;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
