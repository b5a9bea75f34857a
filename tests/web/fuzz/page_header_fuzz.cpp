// Page headers from arbitrary bytes: the header/body split must agree with a plain reading of the
// same bytes however the reader's chunks fall, the three value readers must agree with the lines
// of that split, and a header line the program writes must read back to its value.
//
// Input: first byte = options (bit 0: repeat the bytes past 70000 so that the reader's chunk
// borders fall inside lines; bits 1-3: which of the keys below), then the page.
#include "web/PageHeader.h"
#include "platform/text/CodePage.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdlib>

namespace {

struct Split {
    bool wide = false;
    QByteArray bom;
    QList<QByteArray> lines;
    qint64 bodyOffset = 0;
};

// The split as a person reads it: the lines that begin with "<!--" up to the first that does not;
// CR LF, LF and CR end lines.
Split plainSplit(const QByteArray& d)
{
    Split s;
    qsizetype pos = 0;
    if (d.startsWith("\xEF\xBB\xBF")) {
        s.bom = d.left(3);
        pos = 3;
    } else if (d.startsWith("\xFF\xFE") || d.startsWith("\xFE\xFF") || d.startsWith(QByteArrayView("\0\0\xFE\xFF", 4))) {
        s.wide = true;
    } else {
        // A NUL in the first line (as far as the first read goes) marks UTF-16 or UTF-32.
        for (qsizetype i = 0; i < qMin<qsizetype>(d.size(), 4096); ++i) {
            if (d[i] == '\n' || d[i] == '\r')
                break;
            if (d[i] == '\0') {
                s.wide = true;
                break;
            }
        }
    }
    s.bodyOffset = pos;
    if (s.wide)
        return s;
    while (pos < d.size()) {
        qsizetype end = pos;
        while (end < d.size() && d[end] != '\n' && d[end] != '\r')
            ++end;
        const QByteArray line = d.mid(pos, end - pos);
        if (!line.startsWith("<!--"))
            break;
        s.lines.append(line);
        pos = end;
        if (pos < d.size() && d[pos] == '\r')
            ++pos;
        if (pos < d.size() && d[pos] == '\n' && (pos == end || d[pos - 1] == '\r'))
            ++pos;
        s.bodyOffset = pos;
    }
    return s;
}

const char* const Keys[8] = {"DownloadURL", "SearchWords", "urlfordownload", "DataTime",
                             "Date/Time",   "HidePage",    "TreeKategory",   "D"};

QString lastOrFirst(const QList<QByteArray>& lines, const QString& key, bool last, int& mark)
{
    QString value;
    mark = 0;
    for (const QByteArray& l : lines) {
        if (l == HeaderLines::DownloadMark)
            mark = 1;
        bool matched = false;
        const QString v = headerLineValue(headerLineText(l), key, &matched);
        if (matched) {
            value = v;
            if (!last)
                break;
        }
    }
    return value;
}

[[noreturn]] void fail(const char* what)
{
    fprintf(stderr, "page_header_fuzz: %s\n", what);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const unsigned opt = data[0];
    QByteArray page(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    if ((opt & 1) && !page.isEmpty()) {
        const QByteArray one = page;
        while (page.size() < 70000)
            page += one;
    }

    // The split, through the chunked reader.
    QBuffer buf(&page);
    buf.open(QIODevice::ReadOnly);
    const PageHead h = readPageHead(buf);
    const Split s = plainSplit(page);
    if (h.wide != s.wide)
        fail("wide");
    if (!h.wide) {
        if (h.bom != s.bom)
            fail("bom");
        if (h.lines != s.lines)
            fail("lines");
        if (h.bodyOffset != s.bodyOffset)
            fail("body offset");
    }

    // The value readers read files: the same bytes on disk.
    static QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("page.htm"));
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(page) != page.size())
            fail("temporary file");
    }
    const QString key = QString::fromLatin1(Keys[(opt >> 1) & 7]);
    int mark = 0, expectMark = 0;
    const QString last = ReadHeaderValue(path, key, mark);
    const QString lastExpected = s.wide ? QString() : lastOrFirst(s.lines, key, true, expectMark);
    if (last != lastExpected || mark != (s.wide ? 0 : expectMark))
        fail("ReadHeaderValue");
    const QString first = ReadLinkHeaderValue(path, key, mark);
    const QString firstExpected = s.wide ? QString() : lastOrFirst(s.lines, key, false, expectMark);
    if (first != firstExpected || mark != (s.wide ? 0 : expectMark))
        fail("ReadLinkHeaderValue");
    // FindKomand reads past the header (up to an "<html>" line) and ignores case: only that it
    // ends and gives a lower-case value is checked here.
    const QString k = FindKomand(path, key);
    if (k != k.toLower())
        fail("FindKomand case");

    // A value written into a header line reads back, for values without blanks or control
    // characters at either end and without a closing double quote (those are dropped by design),
    // and without line breaks.
    const QString value = platform::fromCp1251(QByteArrayView(page).first(qMin<qsizetype>(page.size(), 200)));
    bool clean = !value.contains(u'\r') && !value.contains(u'\n');
    if (!value.isEmpty() && (value.front().unicode() <= 0x20 || value.back().unicode() <= 0x20 || value.back() == u'"'))
        clean = false;
    if (clean) {
        const HeaderLineKind kinds[] = {HeaderLines::DownloadURL, HeaderLines::SearchWords, HeaderLines::UrlForDownload,
                                        HeaderLines::DataTime,    HeaderLines::DateTime,    HeaderLines::TreeKategory};
        const char* names[] = {"DownloadURL", "SearchWords", "urlfordownload", "DataTime", "Date/Time", "TreeKategory"};
        for (int i = 0; i < 6; ++i) {
            bool ok = true;
            const QByteArray line = makeHeaderLine(kinds[i], value, &ok);
            if (!ok)
                continue;
            bool matched = false;
            if (headerLineValue(headerLineText(line), QString::fromLatin1(names[i]), &matched) != value || !matched)
                fail("header line round trip");
        }
    }
    return 0;
}
