// archive-window-bench [FILES]: the archive window zipping and unzipping a catalog of FILES
// (default 10,000) small files through its Zip and UnZip buttons (every "Replace existing
// file" answered Yes by the dialog interface), against zip-bench on the same file list.
// Target: within 10% of zip-bench both ways.
#include "app/UnitSlova.h"
#include "app/UnitZip.h"
#include "archive/ZipWriter.h"
#include "platform/dialogs/Dialogs.h"
#include "platform/text/LineList.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

namespace {

qint64 run(const QString& program, const QStringList& args)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer t;
    t.start();
    p.start(program, args);
    p.waitForFinished(-1);
    if (p.exitCode() != 0)
        std::fprintf(stderr, "%s failed (%d)\n", qPrintable(program), p.exitCode());
    return t.elapsed();
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    platform::setDialogs(std::make_unique<platform::ScriptedDialogs>());
    const int files = app.arguments().value(1, QStringLiteral("10000")).toInt();
    const QString zipBench = QCoreApplication::applicationDirPath() + QStringLiteral("/zip-bench");

    QTemporaryDir cfg, work;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(cfg.path()));
    const QString catalog = work.path() + QStringLiteral("/Project1/");
    QDir().mkpath(catalog + QStringLiteral("temp"));
    platform::saveLines(catalog + QStringLiteral("Menue"), {"Root", "\tNode"});
    platform::saveLines(catalog + QStringLiteral("CurrentMenue"), {"Menue"});
    platform::saveLines(catalog + QStringLiteral("StopList"), {});
    for (int i = 0; i < files; ++i) {
        QFile f(catalog + QStringLiteral("page%1.htm").arg(i, 5, 10, QChar('0')));
        if (!f.open(QIODevice::WriteOnly))
            return 1;
        QByteArray body = "<html><body>page " + QByteArray::number(i) + "\n";
        while (body.size() < 2000)
            body += "some words of the page, number " + QByteArray::number(i * 7 % 1000) + "\n";
        f.write(body);
    }

    TFormSlova w;
    FormSlova = &w;
    w.Timer1->stop();
    w.TimerTree->stop();
    w.ProgramDir = work.path() + QStringLiteral("/");
    w.ProjectPath = catalog;
    w.LoadMenue();
    FormZip = new TFormZip();
    FormZip->FormActivate();

    QStringList list;
    for (const QString& name : QDir(catalog).entryList(QDir::Files | QDir::Hidden, QDir::Name))
        list << catalog + name;
    const QString theirs = work.path() + QStringLiteral("/bench.zip");
    // The window replaces the catalog's files: zip-bench replaces them too (a first run makes
    // them). Best of three, each side in turn, as the machine may be busy.
    run(zipBench, QStringList{QStringLiteral("zip"), theirs, QStringLiteral("6")} + list);
    run(zipBench, {QStringLiteral("unzip"), theirs, work.path() + QStringLiteral("/x")});
    qint64 windowZip = -1, benchZip = -1, windowUnzip = -1, benchUnzip = -1, bare = -1;
    auto best = [](qint64& b, qint64 v) { b = b < 0 ? v : std::min(b, v); };
    for (int round = 0; round < 3; ++round) {
        QFile::remove(catalog + QStringLiteral("archives/archive001.zip"));
        QFile::remove(theirs);
        QElapsedTimer t;
        t.start();
        FormZip->ButtonZipClick();
        best(windowZip, t.elapsed());
        best(benchZip, run(zipBench, QStringList{QStringLiteral("zip"), theirs, QStringLiteral("6")} + list));
        // The component alone in this process, on the same list.
        QFile::remove(theirs);
        t.restart();
        {
            archive::TZipWriter w;
            w.SetZipName(theirs);
            w.FilesList = list;
            w.Zip();
        }
        best(bare, t.elapsed());
        t.restart();
        FormZip->ButtonUnZipClick();
        best(windowUnzip, t.elapsed());
        best(benchUnzip, run(zipBench, {QStringLiteral("unzip"), theirs, work.path() + QStringLiteral("/x")}));
    }

    std::printf("%d files: zip window %lld ms, zip-bench %lld ms (%+.1f%%); unzip window %lld ms, zip-bench %lld ms (%+.1f%%)\n",
                int(list.size()), (long long)windowZip, (long long)benchZip,
                benchZip ? 100.0 * double(windowZip - benchZip) / double(benchZip) : 0.0, (long long)windowUnzip,
                (long long)benchUnzip, benchUnzip ? 100.0 * double(windowUnzip - benchUnzip) / double(benchUnzip) : 0.0);
    std::printf("the component alone in this process: zip %lld ms\n", (long long)bare);
    std::printf("messages: %s\n",
                qPrintable(static_cast<platform::ScriptedDialogs&>(platform::dialogs()).messages().filter(QStringLiteral("ed ")).join(QStringLiteral("; "))));
    delete FormZip;
    FormZip = nullptr;
    FormSlova = nullptr;
    return 0;
}
