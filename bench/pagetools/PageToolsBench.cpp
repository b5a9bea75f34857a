// Page tools on large pages, each timed as the window runs it: the page read whole, changed and
// written atomically (the cut also writes its backup first). Targets on the reference machine:
// "Delete style and scripts" under 1 s on both pages, the cut under 0.5 s. sed -E doing the same
// insertions on the same file is printed beside it.
#include "app/PageTools.h"
#include "platform/files/AtomicFile.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>

namespace {

double seconds(const QElapsedTimer& t) { return double(t.nsecsElapsed()) / 1e9; }

QByteArray oneLineScript()
{
    // 500,000 of the words in one line of about 20 MB.
    static const char* const words[] = {"onmousedown", "onclick", "onmouseover", "onmouseout",
                                        "style",       "function", "script",     "JavaScript"};
    QByteArray page = "<html><body><script>";
    page.reserve(21 * 1024 * 1024);
    for (int i = 0; i < 500000; ++i) {
        page += words[i % 8];
        page += "=v(a[i]+b.k*3)-c.d/e;z.q=w(s,t);";
    }
    page += "</script></body></html>\r\n";
    return page;
}

QByteArray manyLines()
{
    QByteArray page = "<html><head><title>t</title></head><body>\r\n";
    for (int i = 0; i < 200000; ++i) {
        if (i % 10 == 0)
            page += "<div class=\"row\" style=\"color:red\" onclick=\"go(" + QByteArray::number(i) + ")\">\r\n";
        else
            page += "<p>Ordinary paragraph text number " + QByteArray::number(i) + " with a few words in it.</p>\r\n";
    }
    page += "</body></html>\r\n";
    return page;
}

double neutraliseFile(const QString& path)
{
    QElapsedTimer t;
    t.start();
    QByteArray page;
    platform::readWholeFile(path, page);
    bool changed = false;
    const QByteArray out = pagetools::neutralise(page, &changed);
    if (changed)
        platform::writeFileAtomic(path, out);
    return seconds(t);
}

double sedFile(const QString& path)
{
    QElapsedTimer t;
    t.start();
    QProcess::execute(QStringLiteral("sed"),
                      {QStringLiteral("-E"), QStringLiteral("-i"),
                       QStringLiteral("s/o(nmousedown|nclick|nmouseover|nmouseout)/o#\\1/g;s/s(tyle|cript)/s#\\1/g;"
                                      "s/f(unction)/f#\\1/g;s/J(avaScript)/J#\\1/g"),
                       path});
    return seconds(t);
}

void row(const char* what, qint64 bytes, double ours, double sed)
{
    std::printf("%-36s %8.1f MB  ours %7.3f s  sed -E %7.3f s\n", what, double(bytes) / 1e6, ours, sed);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString a = dir.filePath("a.htm"), b = dir.filePath("b.htm");
    for (const auto& [name, page] : {std::pair{"delete style and scripts, one line", oneLineScript()},
                                     std::pair{"delete style and scripts, 200k lines", manyLines()}}) {
        platform::writeFileAtomic(a, page);
        platform::writeFileAtomic(b, page);
        const double ours = neutraliseFile(a);
        const double sed = sedFile(b);
        row(name, page.size(), ours, sed);
    }

    // The cut: a 20 MB page, the selection in its last lines.
    QByteArray page = "<!-- DownloadURL=\"http://a/\" -->\r\n<html><body>\r\n";
    while (page.size() < 20 * 1000 * 1000)
        page += "<p>Some ordinary text of the page, line after line, nothing selected here.</p>\r\n";
    page += "<p>The selected passage near the end</p>\r\n</body></html>\r\n";
    platform::writeFileAtomic(a, page);
    QElapsedTimer t;
    t.start();
    QByteArray data;
    platform::readWholeFile(a, data);
    const pagetools::CutResult cut = pagetools::cutBefore(data, "selected passage");
    platform::writeFileAtomic(dir.filePath("backup"), data);
    platform::writeFileAtomic(a, cut.page);
    std::printf("%-36s %8.1f MB  ours %7.3f s  (found: %s)\n", "cut before selection near the end", double(page.size()) / 1e6,
                seconds(t), cut.found ? "yes" : "no");
    return 0;
}
