// The page header: line kinds, the value of one line, the value readers and the header/body split.
#include "PageHeader.h"

#include "platform/files/AtomicFile.h"
#include "platform/files/FileNames.h"
#include "platform/text/CodePage.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QSet>

namespace {

constexpr qsizetype FirstChunk = 4096; // most headers fit in the first read
constexpr qsizetype NextChunk = 65536;
constexpr qsizetype HeadBytes = 8;     // enough to see "<!--" and "<html>"

bool isBlankOrControl(QChar c) { return c.unicode() <= 0x20; }

QStringView trimControl(QStringView s)
{
    qsizetype b = 0, e = s.size();
    while (b < e && isBlankOrControl(s[b]))
        ++b;
    while (e > b && isBlankOrControl(s[e - 1]))
        --e;
    return s.mid(b, e - b);
}

bool startsWithComment(QByteArrayView line) { return line.startsWith(HeaderLines::CommentStart); }

} // namespace

QByteArray makeHeaderLine(const HeaderLineKind& kind, const QString& value, bool* ok)
{
    QByteArray line(kind.before);
    line += platform::toCp1251(value, ok);
    line += kind.after;
    return line;
}

QString headerLineValue(QStringView line, QStringView key, bool* matched)
{
    if (matched)
        *matched = false;
    const QStringView rest = trimControl(line.mid(qMin<qsizetype>(4, line.size())));
    if (key.isEmpty() || !rest.startsWith(key))
        return QString();
    if (matched)
        *matched = true;
    // The key and the one character after it (normally "=") are skipped.
    QStringView v = rest.mid(qMin(rest.size(), key.size() + 1));
    if (v.isEmpty())
        return QString();
    if (v.startsWith(u'"'))
        v = v.mid(1);
    if (v.endsWith(u"-->"))
        v.chop(qMin<qsizetype>(4, v.size()));
    v = trimControl(v);
    if (v.endsWith(u'"'))
        v.chop(1);
    return v.toString();
}

QString headerLineText(const QByteArray& line) { return platform::fromCp1251(line); }

QString charsOutside1251(QStringView text)
{
    QString out;
    QSet<uint> seen;
    for (auto it = text.begin(); it != text.end(); ++it) {
        // Walk by code points, so a character outside the basic plane is named whole.
        char32_t cp = it->unicode();
        QStringView one(it, 1);
        if (it->isHighSurrogate() && it + 1 != text.end() && (it + 1)->isLowSurrogate()) {
            cp = QChar::surrogateToUcs4(*it, *(it + 1));
            one = QStringView(it, 2);
            ++it;
        }
        if (!platform::canEncode(platform::CodePage::Windows1251, one) && !seen.contains(cp)) {
            seen.insert(cp);
            if (!out.isEmpty())
                out += QLatin1Char(' ');
            out += one;
        }
    }
    return out;
}

// ---------------------------------------------------------------------------------------------
// Line reader

PageLineReader::PageLineReader(QIODevice& device) : dev_(device)
{
    fill();
    const QByteArrayView head(buf_);
    if (head.startsWith("\xEF\xBB\xBF")) {
        bom_ = true;
        pos_ = 3;
    } else if (head.startsWith("\xFF\xFE") || head.startsWith("\xFE\xFF") || head.startsWith(QByteArrayView("\0\0\xFE\xFF", 4))) {
        wide_ = true;
    } else {
        // Without a byte order mark, a NUL byte in the first line tells UTF-16 or UTF-32.
        for (qsizetype i = 0; i < buf_.size(); ++i) {
            const char c = buf_[i];
            if (c == '\n' || c == '\r')
                break;
            if (c == '\0') {
                wide_ = true;
                break;
            }
        }
    }
}

bool PageLineReader::fill()
{
    if (eof_)
        return false;
    if (pos_ > 0) {
        base_ += pos_;
        buf_.remove(0, pos_);
        pos_ = 0;
    }
    const qsizetype want = base_ == 0 && buf_.isEmpty() ? FirstChunk : NextChunk;
    const qsizetype old = buf_.size();
    buf_.resize(old + want);
    const qint64 got = dev_.read(buf_.data() + old, want);
    buf_.resize(old + qMax<qint64>(0, got));
    if (got <= 0) {
        eof_ = true;
        return false;
    }
    return true;
}

bool PageLineReader::next(QByteArray& line, bool headOnlyUnlessComment)
{
    line.clear();
    if (pos_ >= buf_.size() && !fill())
        return false;
    lineStart_ = base_ + pos_;
    bool decided = !headOnlyUnlessComment;
    bool keep = true;
    for (;;) {
        if (pos_ >= buf_.size() && !fill())
            return true; // the last line, without a line break
        const char* data = buf_.constData();
        qsizetype i = pos_;
        const qsizetype n = buf_.size();
        while (i < n && data[i] != '\n' && data[i] != '\r')
            ++i;
        if (keep)
            line.append(data + pos_, i - pos_);
        pos_ = i;
        if (!decided && (line.size() >= HeadBytes || i < n)) {
            decided = true;
            if (!startsWithComment(line)) {
                keep = false;
                line.truncate(HeadBytes);
            }
        }
        if (i < n) {
            pos_ = i + 1;
            if (data[i] == '\r') {
                if (pos_ >= buf_.size())
                    fill();
                if (pos_ < buf_.size() && buf_[pos_] == '\n')
                    ++pos_;
            }
            return true;
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Readers

namespace {

// Opens a page for reading; a folder, a missing or an unreadable file give false.
bool openPage(QFile& f)
{
    const QFileInfo fi(f.fileName());
    if (!fi.exists() || fi.isDir())
        return false;
    return f.open(QIODevice::ReadOnly);
}

// Walks the lines of a page (other lines than "<!--" ones by their first bytes alone) until the
// visitor returns false. A missing, unreadable or UTF-16/32 page has no lines.
template <class Visit>
void walkLines(const QString& fileName, Visit visit)
{
    QFile f(fileName);
    if (!openPage(f))
        return;
    PageLineReader r(f);
    if (r.wide())
        return;
    QByteArray line;
    while (r.next(line, true))
        if (!visit(line))
            return;
}

// The leading "<!--" lines of a page.
template <class Visit>
void walkHeader(const QString& fileName, Visit visit)
{
    walkLines(fileName, [&visit](const QByteArray& line) { return startsWithComment(line) && visit(line); });
}

QString readHeader(const QString& fileName, const QString& key, int& downloadMark, bool lastWins)
{
    QString value;
    downloadMark = 0;
    walkHeader(fileName, [&](const QByteArray& line) {
        if (line == HeaderLines::DownloadMark)
            downloadMark = 1;
        bool matched = false;
        const QString v = headerLineValue(headerLineText(line), key, &matched);
        if (matched) {
            value = v;
            return lastWins;
        }
        return true;
    });
    return value;
}

} // namespace

void FindKomand(const QString& fileName, const QString& key, QString& value)
{
    const QString lkey = key.toLower();
    walkLines(fileName, [&](const QByteArray& line) {
        // Only "<html>" and "<!--" matter.
        if (line.size() >= 6 && QByteArrayView(line).first(6).compare("<html>", Qt::CaseInsensitive) == 0)
            return false;
        if (!startsWithComment(line))
            return true;
        bool matched = false;
        const QString v = headerLineValue(headerLineText(line).toLower(), lkey, &matched);
        if (matched)
            value = v;
        return !matched;
    });
}

QString FindKomand(const QString& fileName, const QString& key)
{
    QString value;
    FindKomand(fileName, key, value);
    return value;
}

QString ReadHeaderValue(const QString& fileName, const QString& key, int& downloadMark)
{
    return readHeader(fileName, key, downloadMark, true);
}

QString ReadLinkHeaderValue(const QString& fileName, const QString& key, int& downloadMark)
{
    return readHeader(fileName, key, downloadMark, false);
}

// ---------------------------------------------------------------------------------------------
// Header and body

PageHead readPageHead(QIODevice& device)
{
    PageHead h;
    h.exists = true;
    h.readable = true;
    PageLineReader r(device);
    h.wide = r.wide();
    if (r.hasBom())
        h.bom = QByteArray("\xEF\xBB\xBF");
    h.bodyOffset = r.position();
    if (h.wide)
        return h;
    QByteArray line;
    while (r.next(line, true)) {
        if (!startsWithComment(line)) {
            h.bodyOffset = r.lineStart();
            return h;
        }
        h.lines.append(line);
        h.bodyOffset = r.position();
    }
    return h;
}

PageHead readPageHead(const QString& path)
{
    QFile f(path);
    const QFileInfo fi(path);
    PageHead h;
    if (!fi.exists())
        return h;
    h.exists = true;
    if (fi.isDir() || !f.open(QIODevice::ReadOnly))
        return h;
    return readPageHead(f);
}

bool writePageHead(const QString& path, const QList<QByteArray>& lines, QString* error)
{
    const QFileInfo fi(path);
    QByteArray old;
    PageHead h;
    if (fi.exists()) {
        QString why;
        if (fi.isDir() || !platform::readWholeFile(path, old, &why)) {
            if (error)
                *error = QStringLiteral("Cannot read the page %1: %2").arg(path, fi.isDir() ? QStringLiteral("it is a folder") : why);
            return false;
        }
        QBuffer buf(&old);
        buf.open(QIODevice::ReadOnly);
        h = readPageHead(buf);
        if (h.wide) {
            if (error)
                *error = QStringLiteral("A header cannot be written into this page's encoding (UTF-16 or UTF-32): %1").arg(path);
            return false;
        }
    }
    QByteArray out;
    qsizetype size = h.bom.size();
    for (const QByteArray& l : lines)
        size += l.size() + 2;
    out.reserve(size + old.size() - qMin<qint64>(h.bodyOffset, old.size()));
    out += h.bom;
    for (const QByteArray& l : lines) {
        out += l;
        out += "\r\n";
    }
    out += QByteArrayView(old).sliced(qMin<qint64>(h.bodyOffset, old.size()));
    QString why;
    if (!platform::writeFileAtomic(path, out, &why)) {
        if (error)
            *error = QStringLiteral("Cannot write the page %1: %2").arg(path, why);
        return false;
    }
    return true;
}

QString nodePageFile(const QString& folder, const QString& nodeText, const QStringList& extensions, bool* exists)
{
    if (exists)
        *exists = false;
    if (nodeText.isEmpty() || nodeText == QLatin1String(".") || nodeText == QLatin1String("..") || extensions.isEmpty())
        return QString();
    for (QChar c : nodeText)
        if (c == u'/' || c == u'\\' || c.unicode() < 0x20)
            return QString();
    QString found;
    for (const QString& ext : extensions) {
        const QString p = platform::resolveIn(folder, nodeText + ext);
        if (QFileInfo(p).isFile())
            found = p;
    }
    if (exists)
        *exists = !found.isEmpty();
    return found.isEmpty() ? folder + nodeText + extensions.first() : found;
}
