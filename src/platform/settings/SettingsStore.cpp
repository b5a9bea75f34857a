#include "SettingsStore.h"

#include "platform/files/AtomicFile.h"
#include "platform/text/LineList.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace platform {

namespace {

// Backslashes and '=' cannot appear in names written here, but values may hold anything:
// escape CR, LF and backslash so that a value stays on its line.
QString escapeValue(const QString& v)
{
    QString o;
    o.reserve(v.size());
    for (QChar c : v) {
        if (c == '\\')
            o += QLatin1String("\\\\");
        else if (c == '\n')
            o += QLatin1String("\\n");
        else if (c == '\r')
            o += QLatin1String("\\r");
        else
            o += c;
    }
    return o;
}

QString unescapeValue(const QString& v)
{
    QString o;
    o.reserve(v.size());
    for (qsizetype i = 0; i < v.size(); ++i) {
        QChar c = v[i];
        // Only the three escapes written here; any other backslash is the value's own (a path
        // typed by hand or written by another program).
        if (c == '\\' && i + 1 < v.size() && (v[i + 1] == '\\' || v[i + 1] == 'n' || v[i + 1] == 'r')) {
            QChar n = v[++i];
            o += n == 'n' ? QChar('\n') : n == 'r' ? QChar('\r') : n;
        } else {
            o += c;
        }
    }
    return o;
}

struct IniLine {
    QString section; // section the line belongs to
    QString name;    // empty for section headers, comments and blank lines
    QString raw;
};

QList<IniLine> readIni(const QString& path)
{
    QList<IniLine> out;
    QByteArray data;
    if (!readWholeFile(path, data))
        return out;
    if (data.startsWith("\xEF\xBB\xBF")) // a byte order mark left by an editor
        data.remove(0, 3);
    QString section;
    for (const QByteArray& b : splitLines(data)) {
        QString line = QString::fromUtf8(b);
        IniLine l;
        l.raw = line;
        QString t = line.trimmed();
        if (t.startsWith('[') && t.endsWith(']')) {
            section = t.mid(1, t.size() - 2);
            l.section = section;
        } else {
            l.section = section;
            qsizetype eq = line.indexOf('=');
            if (eq > 0 && !t.startsWith(';') && !t.startsWith('#'))
                l.name = line.left(eq).trimmed();
        }
        out.append(l);
    }
    return out;
}

// Section and value names are matched without regard to case, as the registry matches them.
bool sameSection(const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) == 0; }

// The text after "=": blanks around "=" are the file's layout ("Redraw = 1"), not the value's.
// A value that itself begins with a blank or a quote is written in quotes, which are dropped here.
QString valueText(const QString& raw)
{
    qsizetype i = raw.indexOf('=') + 1;
    while (i < raw.size() && (raw[i] == ' ' || raw[i] == '\t'))
        ++i;
    QString v = raw.mid(i);
    if (v.size() >= 2 && v.startsWith('"') && v.endsWith('"'))
        v = v.mid(1, v.size() - 2);
    return v;
}

QString storedText(const QString& value)
{
    const QString v = escapeValue(value);
    if (v.startsWith(' ') || v.startsWith('\t') || v.startsWith('"'))
        return '"' + v + '"';
    return v;
}

} // namespace

SettingsStore::SettingsStore(const QString& key, const QString& section) : key_(key), section_(section) {}

QString SettingsStore::filePath() const
{
    // A relative XDG_CONFIG_HOME is invalid and must be ignored.
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty() || !base.startsWith('/'))
        base = QDir::homePath() + QStringLiteral("/.config");
    while (base.size() > 1 && base.endsWith('/'))
        base.chop(1);
    // "Software\Zov" becomes ~/.config/Zov.ini: the "Software" level is the registry's own
    // convention and would only add an oddly named folder to the user's config folder.
    QString k = key_;
    k.replace('\\', '/');
    if (k.startsWith(QLatin1String("Software/"), Qt::CaseInsensitive))
        k = k.mid(9);
    return base + '/' + k + QStringLiteral(".ini");
}

QString SettingsStore::readString(const QString& name, const QString& def) const
{
    for (const IniLine& l : readIni(filePath())) {
        if (sameSection(l.section, section_) && !l.name.isEmpty() && l.name.compare(name, Qt::CaseInsensitive) == 0)
            return unescapeValue(valueText(l.raw));
    }
    return def;
}

bool SettingsStore::valueExists(const QString& name) const
{
    for (const IniLine& l : readIni(filePath()))
        if (sameSection(l.section, section_) && !l.name.isEmpty() && l.name.compare(name, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

int SettingsStore::readInteger(const QString& name, int def) const
{
    static const QString missing = QStringLiteral("\x01missing");
    QString s = readString(name, missing);
    if (s == missing)
        return def;
    bool ok = false;
    int v = s.trimmed().toInt(&ok, 10);
    if (!ok && s.trimmed().startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        v = s.trimmed().mid(2).toInt(&ok, 16);
    return ok ? v : def;
}

bool SettingsStore::readBool(const QString& name, bool def) const
{
    return readInteger(name, def ? 1 : 0) != 0;
}

bool SettingsStore::writeString(const QString& name, const QString& value)
{
    const QString path = filePath();
    QList<IniLine> lines = readIni(path);
    const QString entry = name + '=' + storedText(value);
    bool done = false;
    qsizetype lastInSection = -1;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        IniLine& l = lines[i];
        if (!sameSection(l.section, section_))
            continue;
        lastInSection = i;
        if (!l.name.isEmpty() && l.name.compare(name, Qt::CaseInsensitive) == 0) {
            l.raw = entry;
            done = true;
            break;
        }
    }
    if (!done) {
        IniLine l{section_, name, entry};
        if (lastInSection < 0) {
            lines.append(IniLine{section_, QString(), '[' + section_ + ']'});
            lines.append(l);
        } else {
            lines.insert(lastInSection + 1, l);
        }
    }
    QByteArray out;
    for (const IniLine& l : lines) {
        out += l.raw.toUtf8();
        out += '\n';
    }
    QDir().mkpath(QFileInfo(path).absolutePath());
    return writeFileAtomic(path, out);
}

bool SettingsStore::writeInteger(const QString& name, int value)
{
    return writeString(name, QString::number(value));
}

bool SettingsStore::writeBool(const QString& name, bool value)
{
    return writeString(name, value ? QStringLiteral("1") : QStringLiteral("0"));
}

bool SettingsStore::deleteValue(const QString& name)
{
    const QString path = filePath();
    QList<IniLine> lines = readIni(path);
    QByteArray out;
    bool found = false;
    for (const IniLine& l : lines) {
        if (sameSection(l.section, section_) && !l.name.isEmpty() && l.name.compare(name, Qt::CaseInsensitive) == 0) {
            found = true;
            continue;
        }
        out += l.raw.toUtf8();
        out += '\n';
    }
    return !found || writeFileAtomic(path, out);
}

} // namespace platform
