#include "ProgramPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace app {

namespace {
const qint64 runStartMs = QDateTime::currentMSecsSinceEpoch();

QString withSlash(QString p)
{
    while (p.size() > 1 && p.endsWith(QLatin1String("//")))
        p.chop(1);
    if (!p.endsWith('/'))
        p += '/';
    return p;
}
} // namespace

QString programDirectory()
{
    QString dir = qEnvironmentVariable("MORVANEL_PROGRAM_DIR");
    if (!dir.isEmpty()) {
        dir = QDir(dir).absolutePath();
    } else {
        dir = QCoreApplication::applicationDirPath();
        if (dir.isEmpty() || !QFileInfo(dir).isWritable()) {
            QString data = qEnvironmentVariable("XDG_DATA_HOME");
            if (data.isEmpty() || !data.startsWith('/'))
                data = QDir::homePath() + QStringLiteral("/.local/share");
            dir = data + QStringLiteral("/Morvanel");
        }
    }
    QDir().mkpath(dir);
    return withSlash(dir);
}

QDateTime runStartTime() { return QDateTime::fromMSecsSinceEpoch(runStartMs); }

bool hasDriveLetter(const QString& path)
{
    return path.size() >= 2 && path[1] == ':' && path[0].isLetter() && path[0].unicode() < 128;
}

QString catalogPath(const QString& stored)
{
    QString p = stored;
    p.replace('\\', '/');
    if (p.trimmed().isEmpty())
        return QString();
    if (!p.startsWith('/') && !hasDriveLetter(p))
        p = QDir::current().absoluteFilePath(p);
    return withSlash(p);
}

bool isUsableLayerName(const QString& name)
{
    return !name.isEmpty() && !name.contains('/') && !name.contains('\\') && name != QLatin1String(".")
        && name != QLatin1String("..");
}

} // namespace app
