#include "Launcher.h"

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

namespace platform {

namespace {
std::unique_ptr<Launcher>& current()
{
    static std::unique_ptr<Launcher> l = std::make_unique<RecordingLauncher>();
    return l;
}
} // namespace

Launcher& launcher() { return *current(); }

std::unique_ptr<Launcher> setLauncher(std::unique_ptr<Launcher> l)
{
    std::unique_ptr<Launcher> old = std::move(current());
    current() = l ? std::move(l) : std::make_unique<RecordingLauncher>();
    return old;
}

QString DesktopLauncher::textEditor()
{
    static const char* const editors[] = {"gnome-text-editor", "gedit", "kate", "kwrite", "mousepad",
                                          "xed", "pluma", "featherpad", "leafpad"};
    for (const char* e : editors) {
        QString p = QStandardPaths::findExecutable(QString::fromLatin1(e));
        if (!p.isEmpty())
            return p;
    }
    return QString();
}

bool DesktopLauncher::startProgram(const QString& program, const QStringList& args)
{
    if (program.compare(QLatin1String("notepad.exe"), Qt::CaseInsensitive) == 0
        || program.compare(QLatin1String("notepad"), Qt::CaseInsensitive) == 0) {
        QString editor = textEditor();
        if (editor.isEmpty())
            return !args.isEmpty() && openDocument(args.first());
        return QProcess::startDetached(editor, args);
    }
    QString exe = program;
    if (!program.contains('/')) {
        QString name = program;
        if (name.endsWith(QLatin1String(".exe"), Qt::CaseInsensitive))
            name.chop(4);
        exe = QStandardPaths::findExecutable(name);
        if (exe.isEmpty())
            return false;
    }
    return QProcess::startDetached(exe, args);
}

bool DesktopLauncher::openInWordProcessor(const QString& file)
{
    static const char* const writers[][2] = {{"lowriter", nullptr},  {"libreoffice", "--writer"},
                                             {"soffice", "--writer"}, {"abiword", nullptr},
                                             {"calligrawords", nullptr}};
    for (const auto& w : writers) {
        const QString p = QStandardPaths::findExecutable(QString::fromLatin1(w[0]));
        if (p.isEmpty())
            continue;
        QStringList args;
        if (w[1])
            args.append(QString::fromLatin1(w[1]));
        args.append(file);
        return QProcess::startDetached(p, args);
    }
    return openDocument(file);
}

bool DesktopLauncher::openDocument(const QString& fileOrUrl)
{
    if (fileOrUrl.isEmpty())
        return false;
    QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (opener.isEmpty())
        return false;
    return QProcess::startDetached(opener, {fileOrUrl});
}

} // namespace platform
