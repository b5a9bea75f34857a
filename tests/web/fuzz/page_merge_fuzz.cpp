// The download merge from arbitrary task files, pages, server charsets and final addresses: it
// must end without crashing; links resolved against a base must agree with Qt's own RFC 3986
// resolution where both keep the characters alike; and a merged page merged again keeps the
// header it was given.
#include "web/PageHeader.h"
#include "web/PageMerge.h"

#include <QCoreApplication>
#include <QUrl>

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void fail(const char* what, const QByteArray& a = {}, const QByteArray& b = {})
{
    fprintf(stderr, "page_merge_fuzz: %s\n  got:      %s\n  expected: %s\n", what, a.constData(), b.constData());
    std::abort();
}

// A text of the characters that URL resolution treats specially, and letters: Qt leaves each
// of them as it is in an address, so both resolutions must give the same bytes.
QByteArray pathText(FuzzedDataProvider& p, size_t max)
{
    static const char alphabet[] = "ab/./?";
    std::string s = p.ConsumeRandomLengthString(max);
    QByteArray out;
    for (char c : s)
        out += alphabet[uchar(c) % (sizeof alphabet - 1)];
    return out;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider p(data, size);

    // Resolution against Qt's.
    {
        // The base has a path: for an empty one the merge gives "/" as browsers do, where the
        // bare RFC keeps it empty.
        const QByteArray base = "http://h/" + pathText(p, 24);
        const QByteArray link = pathText(p, 24);
        // Left out: empty links (they stay as they are) and "//..." (another host, whose name
        // Qt normalises).
        if (!link.isEmpty() && !link.startsWith("//")) {
            const QByteArray ours = merge::resolveLink(link, base);
            const QByteArray qt = QUrl(QString::fromLatin1(base)).resolved(QUrl(QString::fromLatin1(link))).toEncoded();
            if (ours != qt)
                fail(("resolveLink(\"" + link + "\", \"" + base + "\")").constData(), ours, qt);
        }
    }

    const QString charset = QString::fromUtf8(p.ConsumeRandomLengthString(40));
    const QString url = QString::fromUtf8(p.ConsumeRandomLengthString(200));
    const std::string task = p.ConsumeRandomLengthString(2000);
    const std::string body = p.ConsumeRemainingBytesAsString();
    const QByteArray taskFile(task.data(), qsizetype(task.size()));
    const QByteArray page(body.data(), qsizetype(body.size()));

    const QByteArray date = "<!-- DataTime=\"07.12.2026/10:00:00\" -->";
    const QByteArray merged = merge::mergedPage(taskFile, page, charset, date, url);
    (void)merge::rebaseLine(page.left(4000), url.toLatin1());
    (void)merge::baseHref(page);

    // The merged file begins with the header lines it kept, each "<!-- " and CR LF, none the
    // download mark, then the date line; merging it again keeps that header in front.
    QByteArray head;
    qsizetype pos = 0;
    for (;;) {
        const qsizetype end = merged.indexOf("\r\n", pos);
        if (end < 0)
            fail("no date line", merged.left(300));
        const QByteArray line = merged.mid(pos, end - pos);
        pos = end + 2;
        if (line == date)
            break;
        if (!line.startsWith("<!-- ") || line.contains('\n') || line.contains('\r') || line == HeaderLines::DownloadMark)
            fail("kept header line", line);
        head += line + "\r\n";
    }
    const QByteArray again = merge::mergedPage(merged, page, charset, date, url);
    if (!again.startsWith(head + date + "\r\n"))
        fail("merged twice", again.left(300), (head + date).left(300));
    return 0;
}
