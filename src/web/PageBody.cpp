// What a fetched body is: a web page or not, and its content codings undone.
#include "PageBody.h"

#include "archive/Inflate.h"
#include "archive/ZipCrc.h"

#include <QFile>

#include <stdexcept>

namespace pagebody {

bool isWebPage(const QString& fileName, const QByteArray& head)
{
    for (const char* ext : {".htm", ".html", ".shtml", ".xhtml"})
        if (fileName.endsWith(QLatin1String(ext), Qt::CaseInsensitive))
            return true;
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; };
    qsizetype i = head.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    while (i < head.size() && blank(head[i]))
        ++i;
    const QByteArray rest = head.mid(i, 32).toLower();
    // The tags by which browsers take a body of unknown type for HTML; each must end there.
    for (const char* tag : {"<!doctype html", "<html", "<head", "<script", "<iframe", "<h1", "<div", "<font", "<table",
                            "<a", "<style", "<title", "<b", "<body", "<br", "<p", "<!--"}) {
        const qsizetype n = qsizetype(qstrlen(tag));
        if (rest.startsWith(tag) && rest.size() > n && (rest[n] == '>' || blank(rest[n])))
            return true;
    }
    return false;
}

namespace {

class FileSource : public archive::TUnzipSource {
public:
    explicit FileSource(QFile& f) : f_(f) {}
    size_t ReadChunk(uint8_t* buffer, size_t count) override
    {
        const qint64 got = f_.read(reinterpret_cast<char*>(buffer), qint64(count));
        return got > 0 ? size_t(got) : 0;
    }

private:
    QFile& f_;
};

// Writes the expanded bytes and keeps both check sums; refuses output past the limit.
class FileSink : public archive::TUnzipSink {
public:
    FileSink(QFile& f, qint64 max) : f_(f), max_(max) {}
    void WriteOutput(const uint8_t* data, size_t count) override
    {
        if (written + qint64(count) > max_) {
            tooLarge = true;
            throw std::runtime_error("too large");
        }
        if (f_.write(reinterpret_cast<const char*>(data), qint64(count)) != qint64(count)) {
            writeFailed = true;
            throw std::runtime_error("write");
        }
        crc = archive::UpdateCrc32(crc, data, count);
        for (size_t i = 0; i < count; ++i) {
            adlerA = (adlerA + data[i]) % 65521;
            adlerB = (adlerB + adlerA) % 65521;
        }
        written += qint64(count);
    }
    void startMember()
    {
        crc = 0;
        adlerA = 1;
        adlerB = 0;
        memberStart = written;
    }

    qint64 written = 0, memberStart = 0;
    uint32_t crc = 0, adlerA = 1, adlerB = 0;
    bool tooLarge = false, writeFailed = false;

private:
    QFile& f_;
    qint64 max_;
};

uint32_t le32(const QByteArray& b) { return uint8_t(b[0]) | uint8_t(b[1]) << 8 | uint8_t(b[2]) << 16 | uint32_t(uint8_t(b[3])) << 24; }
uint32_t be32(const QByteArray& b) { return uint32_t(uint8_t(b[0])) << 24 | uint8_t(b[1]) << 16 | uint8_t(b[2]) << 8 | uint8_t(b[3]); }

class Decoder {
public:
    Decoder(QFile& in, FileSink& sink, qint64 max) : in_(in), sink_(sink), max_(max) {}

    // One deflate stream from the read position; the read position ends right after it.
    QString inflate(const char* what)
    {
        const qint64 start = in_.pos();
        const uint64_t size = uint64_t(in_.size() - start);
        FileSource source(in_);
        uint64_t used = 0;
        const archive::TInflateResult r = archive::InflateFrom(source, sink_, size, UINT64_MAX, &used);
        in_.seek(start + qint64(used));
        switch (r) {
        case archive::TInflateResult::Ok:
            return {};
        case archive::TInflateResult::BadBlockType:
            return QStringLiteral("the %1 data holds a block of an unknown type").arg(QLatin1String(what));
        case archive::TInflateResult::OutOfMemory:
            return QStringLiteral("there is not enough memory to expand it");
        case archive::TInflateResult::DataError:
            break;
        }
        if (sink_.tooLarge)
            return QStringLiteral("expanded, the page is larger than %1 bytes").arg(max_);
        if (sink_.writeFailed)
            return QStringLiteral("the expanded page could not be written");
        if (used >= size)
            return QStringLiteral("the %1 data ends early: the page was cut short").arg(QLatin1String(what));
        return QStringLiteral("the %1 data is damaged (a code or length that deflate does not have)").arg(QLatin1String(what));
    }

    QString gzipMember()
    {
        const QByteArray h = in_.read(10);
        if (h.size() < 10)
            return QStringLiteral("the gzip header ends early: the page was cut short");
        if (uint8_t(h[0]) != 0x1f || uint8_t(h[1]) != 0x8b)
            return QStringLiteral("the body is not gzip data (no gzip signature)");
        if (h[2] != 8)
            return QStringLiteral("the gzip data uses compression method %1, not deflate").arg(int(uint8_t(h[2])));
        const uint8_t flags = uint8_t(h[3]);
        if (flags & 0xE0)
            return QStringLiteral("the gzip header has reserved flags set");
        if (flags & 4) {
            const QByteArray x = in_.read(2);
            const int n = x.size() == 2 ? uint8_t(x[0]) | uint8_t(x[1]) << 8 : 0;
            if (x.size() < 2 || in_.read(n).size() < n)
                return QStringLiteral("the gzip header ends early: the page was cut short");
        }
        for (uint8_t f : {uint8_t(8), uint8_t(16)})
            if (flags & f) {
                char c = 1;
                while (c != 0)
                    if (!in_.getChar(&c))
                        return QStringLiteral("the gzip header ends early: the page was cut short");
            }
        if ((flags & 2) && in_.read(2).size() < 2)
            return QStringLiteral("the gzip header ends early: the page was cut short");
        sink_.startMember();
        if (QString why = inflate("gzip"); !why.isEmpty())
            return why;
        const QByteArray t = in_.read(8);
        if (t.size() < 8)
            return QStringLiteral("the gzip data ends before its check sum: the page was cut short");
        if (le32(t) != sink_.crc)
            return QStringLiteral("the gzip check sum (CRC-32) does not match the expanded page");
        if (le32(t.mid(4)) != uint32_t(sink_.written - sink_.memberStart))
            return QStringLiteral("the gzip length does not match the expanded page");
        return {};
    }

    QString gzip()
    {
        // Members one after another make one body; bytes after the last member are ignored.
        for (bool first = true;; first = false) {
            if (!first && !in_.peek(2).startsWith("\x1f\x8b"))
                return {};
            if (QString why = gzipMember(); !why.isEmpty())
                return why;
        }
    }

    QString deflate()
    {
        // The zlib wrapper, as the coding is defined; some servers send the raw stream.
        const QByteArray h = in_.peek(2);
        const bool zlib = h.size() == 2 && (uint8_t(h[0]) & 0x0f) == 8 && (uint8_t(h[0]) >> 4) <= 7 &&
                          ((uint8_t(h[0]) << 8) | uint8_t(h[1])) % 31 == 0 && !(uint8_t(h[1]) & 0x20);
        if (zlib)
            in_.read(2);
        sink_.startMember();
        if (QString why = inflate("deflate"); !why.isEmpty() || !zlib)
            return why;
        const QByteArray t = in_.read(4);
        if (t.size() < 4)
            return QStringLiteral("the deflate data ends before its check sum: the page was cut short");
        if (be32(t) != (sink_.adlerB << 16 | sink_.adlerA))
            return QStringLiteral("the deflate check sum (Adler-32) does not match the expanded page");
        return {};
    }

private:
    QFile& in_;
    FileSink& sink_;
    qint64 max_;
};

} // namespace

QString decodeFile(const QString& coding, const QString& in, const QString& out, qint64 maxOut, bool* writeFailed)
{
    const QString c = coding.trimmed().toLower();
    if (c != QLatin1String("gzip") && c != QLatin1String("x-gzip") && c != QLatin1String("deflate"))
        return QStringLiteral("the server used the content coding \"%1\", which is not read").arg(coding);
    QFile src(in), dst(out);
    if (!src.open(QIODevice::ReadOnly))
        return QStringLiteral("cannot read %1: %2").arg(in, src.errorString());
    // A scratch file is made anew, never written through a link a received catalog may hold.
    QFile::remove(out);
    if (!dst.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        if (writeFailed)
            *writeFailed = true;
        return QStringLiteral("cannot write %1: %2").arg(out, dst.errorString());
    }
    FileSink sink(dst, maxOut);
    Decoder d(src, sink, maxOut);
    QString why = c == QLatin1String("deflate") ? d.deflate() : d.gzip();
    if (why.isEmpty() && !dst.flush())
        sink.writeFailed = true;
    if (sink.writeFailed) {
        why = QStringLiteral("cannot write %1: %2").arg(out, dst.errorString());
        if (writeFailed)
            *writeFailed = true;
    }
    return why;
}

} // namespace pagebody
