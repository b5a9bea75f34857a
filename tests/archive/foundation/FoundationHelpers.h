#pragma once
// Small helpers shared by the foundation tests.
#include "archive/BufferStream.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

namespace zipbase_test {

inline QByteArray hexBytes(const char* hex)
{
    return QByteArray::fromHex(QByteArray(hex).replace(' ', ""));
}

inline QString hexOf(const QByteArray& b)
{
    return QString::fromLatin1(b.toHex(' ')).toUpper();
}

// A stream that records the size of every read and write asked of it.
class CountingStream : public archive::TMemoryStream {
public:
    using TMemoryStream::TMemoryStream;
    std::vector<int64_t> reads, writes;
    int64_t Read(void* b, int64_t n) override
    {
        const int64_t r = TMemoryStream::Read(b, n);
        reads.push_back(r);
        return r;
    }
    int64_t Write(const void* b, int64_t n) override
    {
        writes.push_back(n);
        return TMemoryStream::Write(b, n);
    }
};

// Runs python3 -c script with args; its standard output, or a null array when it failed.
QByteArray python(const QString& script, const QStringList& args = {}, const QString& workDir = QString());

} // namespace zipbase_test
