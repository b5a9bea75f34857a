// Download task files and search-engine addresses.
#include "TaskFiles.h"

#include "PageHeader.h"
#include "platform/files/AtomicFile.h"
#include "platform/files/FileNames.h"
#include "platform/text/CodePage.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

namespace tasks {

namespace {
bool keptAsIs(uchar b)
{
    return (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9') || b == '@' || b == '*' || b == '.';
}

bool percentEncoded(uchar b)
{
    static const QByteArray punct("!#$%^&()<>?,/;':\"[]{}`~");
    return b >= 192 || punct.contains(char(b));
}

// Characters that no task file name keeps: the Part's own, and those other systems refuse. Half
// of a character outside the basic plane, left by a cut at a character count, has no file name
// form (the file system would get "?" for it): it goes the same way.
QString clean(QString text, const QString& replaced)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            ++i;
            continue;
        }
        if (c.isSurrogate() || replaced.contains(c) || c.unicode() < 0x20 || c == u'"' || c == u'<' || c == u'>' ||
            c == u'|' || c == u'?' || c == u'*' || c == u'/' || c == u'\\')
            text[i] = u'_';
    }
    return text;
}

QRandomGenerator& generator()
{
    static QRandomGenerator g{quint32(QDateTime::currentMSecsSinceEpoch())};
    return g;
}
} // namespace

QString MakeURL(const QString& line, const QString& prefix, const QString& suffix)
{
    QString out = prefix;
    for (char ch : platform::toCp1251(line)) {
        const uchar b = uchar(ch);
        if (keptAsIs(b))
            out += QLatin1Char(char(b));
        else if (b == ' ')
            out += QLatin1Char('+');
        else if (percentEncoded(b))
            out += QStringLiteral("%%1").arg(uint(b), 2, 16, QLatin1Char('0')).toUpper();
    }
    return out + suffix;
}

QRandomGenerator& random() { return generator(); }
void seedRandom(quint32 seed) { generator().seed(seed); }

QString wordsNameText(const QString& line)
{
    QString text = line.left(4).toLower() == QLatin1String("url:") ? line.mid(7).left(50) : line;
    if (text.trimmed().isEmpty())
        return QString();
    return clean(text, QStringLiteral("%/\\:@.*?"));
}

QString linkNameText(const QString& address)
{
    const QString text = address.mid(7, 15);
    if (text.trimmed().isEmpty())
        return QString();
    return clean(text, QStringLiteral("%.:/\\"));
}

QString uniqueBaseName(const QString& folder, const QString& text, bool limitLength)
{
    for (;;) {
        QString base = text + QLatin1Char('_') + QString::number(random().bounded(100000000));
        if (limitLength && base.size() > 50) {
            base = base.right(51);
            if (base.front().isLowSurrogate())
                base.front() = u'_'; // the cut took the first half of a character
        }
        if (!platform::existsNoCase(folder + base + QStringLiteral(".htm")))
            return base;
    }
}

bool writeTaskFile(const QString& path, const QString* words, const QString& address, QString* error)
{
    QByteArray data = QByteArray(HeaderLines::DownloadMark) + "\r\n";
    if (words)
        data += makeHeaderLine(HeaderLines::SearchWords, *words) + "\r\n";
    data += makeHeaderLine(HeaderLines::DownloadURL, address) + "\r\n";
    QString why;
    if (!platform::writeFileAtomic(path, data, &why)) {
        if (error)
            *error = QStringLiteral("The task file %1 was not written: %2").arg(path, why);
        return false;
    }
    return true;
}

QStringList pagesEndingWith(const QString& folder, const QStringList& endings)
{
    QStringList out;
    const QFileInfoList list = QDir(folder).entryInfoList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name | QDir::IgnoreCase);
    for (const QFileInfo& fi : list) {
        if (fi.isDir())
            continue;
        for (const QString& e : endings)
            if (fi.fileName().endsWith(e)) {
                out << folder + fi.fileName();
                break;
            }
    }
    return out;
}

} // namespace tasks
