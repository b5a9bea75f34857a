#include "LineList.h"

#include "CodePage.h"
#include "platform/files/AtomicFile.h"

namespace platform {

QList<QByteArray> splitLines(QByteArrayView data)
{
    QList<QByteArray> lines;
    const char* p = data.data();
    const qsizetype n = data.size();
    qsizetype start = 0;
    for (qsizetype i = 0; i < n; ++i) {
        char c = p[i];
        if (c != '\r' && c != '\n')
            continue;
        lines.append(QByteArray(p + start, i - start));
        if (c == '\r' && i + 1 < n && p[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < n)
        lines.append(QByteArray(p + start, n - start));
    return lines;
}

QByteArray joinLines(const QList<QByteArray>& lines)
{
    qsizetype total = 0;
    for (const auto& l : lines)
        total += l.size() + 2;
    QByteArray out;
    out.reserve(total);
    for (const auto& l : lines) {
        out += l;
        out += "\r\n";
    }
    return out;
}

bool loadLines(const QString& path, QList<QByteArray>& lines, QString* error)
{
    QByteArray data;
    if (!readWholeFile(path, data, error))
        return false;
    lines = splitLines(data);
    return true;
}

bool saveLines(const QString& path, const QList<QByteArray>& lines, QString* error)
{
    return writeOwnFileAtomic(path, joinLines(lines), error);
}

bool loadLines1251(const QString& path, QStringList& lines, QString* error)
{
    QList<QByteArray> raw;
    if (!loadLines(path, raw, error))
        return false;
    lines.clear();
    lines.reserve(raw.size());
    for (const auto& l : raw)
        lines.append(fromCp1251(l));
    return true;
}

bool saveLines1251(const QString& path, const QStringList& lines, QString* error)
{
    QList<QByteArray> raw;
    raw.reserve(lines.size());
    for (const auto& l : lines) {
        bool ok = true;
        raw.append(toCp1251(l, &ok));
        if (!ok) {
            if (error)
                *error = QStringLiteral("The text \"%1\" holds characters that cannot be written to %2.").arg(l, path);
            return false;
        }
    }
    return saveLines(path, raw, error);
}

} // namespace platform
