// The site generator outside the program:
//   site-bench make CATALOG OUTDIR [--no-translit] [--keywords TEXT] [--description TEXT]
//       loads the catalog's current tree as the main window does and makes the site as the
//       "HTML" button does (exit 1 with the error text on a failure);
//   site-bench crawl OUTDIR/index.html
//       follows every link inside the site in Qt WebEngine and prints each broken one (exit 1);
//   site-bench catalog DIR
//       writes the benchmark's catalog into DIR (for profiling "make" on it);
//   site-bench
//       the benchmark: a catalog of 10,000 nodes (5,000 notes of 4 KB RTF, 5,000 pages of 20 KB)
//       made into a site, and hugo building 10,000 markdown pages of the same texts.
#include "SiteCrawl.h"
#include "app/ProgramPaths.h"
#include "app/TreeFile.h"
#include "platform/files/FileNames.h"
#include "platform/richedit/PlainText.h"
#include "platform/richedit/RichFormat.h"
#include "platform/text/CodePage.h"
#include "platform/text/LineList.h"
#include "web/SiteGenerator.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QTreeWidget>

#include <cstdio>
#include <unistd.h>
#include <random>

namespace {

// Bench input is written plainly: a flush to disk per file would only slow the set-up.
void put(const QString& path, const QByteArray& data)
{
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(data);
}

void say(const QString& s) { std::fprintf(stdout, "%s\n", s.toLocal8Bit().constData()); }
void complain(const QString& s) { std::fprintf(stderr, "%s\n", s.toLocal8Bit().constData()); }

// The current tree of a catalog as a catalog load builds it: the layer list's last name, the
// tree file of that name and its icon index file. A damaged tree file keeps what was read.
bool loadCatalogTree(const QString& catalog, QTreeWidget& tree)
{
    QStringList layers;
    const QString list = platform::resolveIn(catalog, QStringLiteral("currentMenue"));
    if (QFileInfo(list).isFile())
        platform::loadLines1251(list, layers);
    QString layer = layers.isEmpty() ? QStringLiteral("Menue") : layers.last();
    if (!app::isUsableLayerName(layer))
        layer = QStringLiteral("Menue");
    const QString file = platform::resolveIn(catalog, layer);
    if (!QFileInfo(file).isFile()) {
        complain(QStringLiteral("The catalog %1 has no tree file \"%2\".").arg(catalog, layer));
        return false;
    }
    QString error;
    QList<QTreeWidgetItem*> nodes;
    if (!treefile::loadTree(&tree, file, &error, &nodes)) {
        complain(error);
        return false;
    }
    if (!error.isEmpty())
        complain(error);
    QList<QByteArray> icons;
    const QString ind = platform::resolveIn(catalog, layer + QStringLiteral("_ind"));
    if (QFileInfo(ind).isFile() && platform::loadLines(ind, icons))
        treefile::applyIconLines(nodes, icons);
    return true;
}

int makeCommand(const QStringList& args)
{
    if (args.size() < 2) {
        complain(QStringLiteral("usage: site-bench make CATALOG OUTDIR [--no-translit] [--keywords TEXT] [--description TEXT]"));
        return 2;
    }
    site::SiteSettings s;
    s.catalog = app::catalogPath(args[0]);
    s.outDir = QDir(args[1]).absolutePath() + QLatin1Char('/');
    for (int i = 2; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--no-translit"))
            s.transliterate = false;
        else if (args[i] == QLatin1String("--keywords") && i + 1 < args.size())
            s.keywords = args[++i];
        else if (args[i] == QLatin1String("--description") && i + 1 < args.size())
            s.description = args[++i];
        else {
            complain(QStringLiteral("unknown argument: %1").arg(args[i]));
            return 2;
        }
    }
    QTreeWidget tree;
    if (!loadCatalogTree(s.catalog, tree))
        return 1;
    QTextDocument reader;
    const site::SiteResult r = site::MakeSite(site::TreeEntries(&tree), s, &reader);
    if (!r.ok) {
        complain(r.error);
        return 1;
    }
    say(QStringLiteral("%1 files written to %2").arg(r.files.size()).arg(r.outDir));
    return 0;
}

int crawlCommand(const QStringList& args)
{
    if (args.size() != 1) {
        complain(QStringLiteral("usage: site-bench crawl OUTDIR/index.html"));
        return 2;
    }
    const sitecrawl::Result r = sitecrawl::Crawl(QFileInfo(args[0]).absoluteFilePath());
    for (const QString& b : r.broken)
        say(QStringLiteral("broken: %1").arg(b));
    say(QStringLiteral("%1 pages reached, %2 broken links").arg(r.pages.size()).arg(r.broken.size()));
    return r.broken.isEmpty() ? 0 : 1;
}

// ---- the benchmark

const int kNotes = 5000, kPages = 5000;

QString words(std::mt19937& rng, int count)
{
    static const QStringList pool = QString::fromUtf8(
        "дерево заметка страница сайт каталог узел текст абзац письмо книга дом город река поле лес "
        "время работа человек слово дело жизнь день рука глаз вопрос сторона страна мир случай голова")
        .split(u' ');
    QStringList w;
    for (int i = 0; i < count; ++i)
        w.append(pool[int(rng() % pool.size())]);
    return w.join(u' ');
}

struct BenchCatalog {
    QString dir;
    QList<QStringList> noteTexts; // paragraphs of each note
    QList<QString> pageTexts;
};

void makeCatalog(BenchCatalog& c)
{
    std::mt19937 rng(7);
    QStringList tree{QString::fromUtf8("Сайт")};
    QList<QByteArray> icons{"0"};
    int n = 0;
    // 100 sections of 99 nodes under the root, notes and pages alternating.
    for (int s = 0; n < kNotes + kPages; ++s) {
        tree.append(QStringLiteral("\t") + QString::fromUtf8("Раздел %1").arg(s));
        icons.append("0");
        for (int k = 0; k < 99 && n < kNotes + kPages; ++k, ++n) {
            const bool note = n % 2 == 0;
            const QString name = note ? QString::fromUtf8("Заметка %1").arg(n / 2) : QString::fromUtf8("Страница %1").arg(n / 2);
            tree.append(QStringLiteral("\t\t") + name);
            icons.append("0");
            if (note) {
                QStringList paragraphs;
                for (int p = 0; p < 20; ++p)
                    paragraphs.append(words(rng, 9));
                QTextDocument d;
                platform::SetPlainTextOf(d, paragraphs.join(u'\n'));
                put(c.dir + name + QStringLiteral(".rtf"), platform::WriteRtf(d));
                c.noteTexts.append(paragraphs);
            } else {
                QByteArray page = "<html><head><META http-equiv=Content-Type content=\"text/html; charset=windows-1251\">"
                                  "<title>" + platform::toCp1251(name) + "</title></head><body>\r\n";
                QString text;
                while (page.size() < 20 * 1024) {
                    const QString line = words(rng, 12);
                    text += line + u'\n';
                    page += "<p>" + platform::toCp1251(line) + "</p>\r\n";
                }
                page += "</body></html>\r\n";
                put(c.dir + name + QStringLiteral(".htm"), page);
                c.pageTexts.append(text);
            }
        }
    }
    platform::saveLines1251(c.dir + QStringLiteral("Menue"), tree);
    platform::saveLines1251(c.dir + QStringLiteral("CurrentMenue"), {QStringLiteral("Menue")});
    platform::saveLines(c.dir + QStringLiteral("Menue_ind"), icons);
}

// The same texts as markdown for hugo, with the least layout hugo needs to write each page.
void makeHugoSite(const BenchCatalog& c, const QString& root)
{
    QDir().mkpath(root + QStringLiteral("content/notes"));
    QDir().mkpath(root + QStringLiteral("layouts/_default"));
    put(root + QStringLiteral("config.toml"),
                              "baseURL = \"http://example.org/\"\ntitle = \"bench\"\n"
                              "disableKinds = [\"taxonomy\", \"term\", \"RSS\", \"sitemap\"]\n");
    put(root + QStringLiteral("layouts/_default/single.html"),
                              "<html><head><title>{{ .Title }}</title></head><body>{{ .Content }}</body></html>\n");
    put(root + QStringLiteral("layouts/_default/list.html"),
                              "<html><body>{{ range .Pages }}<a href=\"{{ .RelPermalink }}\">{{ .Title }}</a><br>{{ end }}</body></html>\n");
    int i = 0;
    auto page = [&](const QString& title, const QString& body) {
        const QByteArray md = "---\ntitle: \"" + title.toUtf8() + "\"\n---\n\n" + body.toUtf8();
        put(root + QStringLiteral("content/notes/p%1.md").arg(i++), md);
    };
    for (int k = 0; k < c.noteTexts.size(); ++k)
        page(c.noteTexts[k].value(0), QStringList(c.noteTexts[k].mid(1)).join(QStringLiteral("\n\n")));
    for (int k = 0; k < c.pageTexts.size(); ++k)
        page(QString::fromUtf8("Страница %1").arg(k), QString(c.pageTexts[k]).replace(u'\n', QStringLiteral("\n\n")));
}

int benchmark()
{
    QTemporaryDir tmp;
    BenchCatalog c;
    c.dir = tmp.path() + QStringLiteral("/Cat/");
    QDir().mkpath(c.dir);
    makeCatalog(c);

    // The tree as the main window holds it, then the HTML button's work.
    QTreeWidget tree;
    if (!loadCatalogTree(c.dir, tree))
        return 1;
    site::SiteSettings s;
    s.catalog = c.dir;
    s.outDir = c.dir + QStringLiteral("html/");
    s.keywords = QString::fromUtf8("слова");
    QTextDocument reader;
    QElapsedTimer t;
    t.start();
    const site::SiteResult r = site::MakeSite(site::TreeEntries(&tree), s, &reader);
    const double ours = t.nsecsElapsed() / 1e9;
    if (!r.ok) {
        complain(r.error);
        return 1;
    }
    say(QStringLiteral("site generator: %1 nodes (%2 notes, %3 pages) -> %4 files in %5 s (target < 8 s)")
            .arg(treefile::nodeCount(&tree)).arg(kNotes).arg(kPages).arg(r.files.size()).arg(ours, 0, 'f', 2));

    const QString hugoRoot = tmp.path() + QStringLiteral("/hugo/");
    makeHugoSite(c, hugoRoot);
    QProcess hugo;
    t.restart();
    hugo.start(QStringLiteral("hugo"), {QStringLiteral("--quiet"), QStringLiteral("-s"), hugoRoot, QStringLiteral("-d"),
                                        hugoRoot + QStringLiteral("public")});
    if (!hugo.waitForStarted(10000)) {
        say(QStringLiteral("hugo: not installed (scripts/install-deps installs it)"));
        return 0;
    }
    hugo.waitForFinished(600000);
    const double peer = t.nsecsElapsed() / 1e9;
    if (hugo.exitCode() != 0)
        complain(QString::fromLocal8Bit(hugo.readAllStandardError()));
    say(QStringLiteral("hugo: %1 markdown pages in %2 s").arg(kNotes + kPages).arg(peer, 0, 'f', 2));
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (::geteuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QApplication app(argc, argv);
    QStringList args = QApplication::arguments().mid(1);
    if (args.isEmpty())
        return benchmark();
    const QString command = args.takeFirst();
    if (command == QLatin1String("make"))
        return makeCommand(args);
    if (command == QLatin1String("crawl"))
        return crawlCommand(args);
    if (command == QLatin1String("catalog") && args.size() == 1) {
        // The benchmark's catalog alone, to profile "make" on it.
        BenchCatalog c;
        c.dir = QDir(args[0]).absolutePath() + QLatin1Char('/');
        QDir().mkpath(c.dir);
        makeCatalog(c);
        return 0;
    }
    complain(QStringLiteral("usage: site-bench [make CATALOG OUTDIR [options] | crawl OUTDIR/index.html]"));
    return 2;
}
