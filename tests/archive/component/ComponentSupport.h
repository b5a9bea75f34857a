#pragma once
// Helpers of the zip component tests: source trees, peers' archives, listing what landed.
#include "support/TestSupport.h"
#include "archive/ZipWriter.h"

#include <QByteArray>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QMap>
#include <QRandomGenerator>
#include <QString>
#include <QStringList>

#include <ostream>

inline void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}

namespace ziptest {

using namespace testsupport;

// Text that compresses, and bytes that do not.
inline QByteArray textBytes(int size, int seed = 1)
{
    QByteArray out;
    const char* words[] = {"alpha ", "beta ", "gamma ", "delta\r\n", "catalog ", "node ", "tree ", "page "};
    QRandomGenerator rng(seed);
    while (out.size() < size)
        out += words[rng.bounded(8)];
    out.truncate(size);
    return out;
}
inline QByteArray randomBytes(int size, int seed = 2)
{
    QByteArray out(size, '\0');
    QRandomGenerator rng(seed);
    for (int i = 0; i < size; ++i)
        out[i] = char(rng.bounded(256));
    return out;
}

// Every file under dir, relative name -> contents.
inline QMap<QString, QByteArray> treeOf(const QString& dir)
{
    QMap<QString, QByteArray> m;
    QDirIterator it(dir, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString f = it.next();
        m.insert(QDir(dir).relativeFilePath(f), readFile(f));
    }
    return m;
}

inline bool requireTool(const QString& tool)
{
    if (haveTool(tool))
        return true;
    if (qEnvironmentVariable("CI") == QLatin1String("true"))
        ADD_FAILURE() << tool.toStdString() << " missing";
    return false;
}

#define MV_REQUIRE_TOOL(t)                                                                         \
    do {                                                                                           \
        if (!::ziptest::requireTool(t))                                                            \
            GTEST_SKIP() << "tool missing: " << QString(t).toStdString();                         \
    } while (0)

// Runs a peer and returns its exit code; output collected into *out (stdout and stderr).
inline int peer(const QString& tool, const QStringList& args, QByteArray* out = nullptr, const QString& cwd = QString())
{
    QByteArray o, e;
    const int rc = runTool(tool, args, &o, &e, cwd);
    if (out)
        *out = o + e;
    return rc;
}

// Extracts everything of an archive with our reader, overwriting, no prompts.
struct Extracted {
    int count = 0;
    QStringList skipped;
    QStringList badCrc;
};
inline Extracted unzipAll(const QString& zip, const QString& dest, const QString& password = QString(),
                          bool recreateDirs = true)
{
    archive::TZipReader r;
    r.SetZipName(zip);
    r.SetDestDir(dest);
    r.DoAll = true;
    r.RecreateDirs = recreateDirs;
    r.OverwriteMode = archive::Always;
    r.Password = password;
    Extracted ex;
    r.OnSkippingFile = [&](archive::TZipReader*, archive::TSkipReason reason, const QString& name, int) {
        ex.skipped << QStringLiteral("%1:%2").arg(int(reason)).arg(name);
    };
    r.OnBadCRC = [&](archive::TZipReader* s, uint32_t, uint32_t, int i) { ex.badCrc << s->Filename(i); };
    ex.count = r.UnZip();
    return ex;
}

// Sets `r` to extract every member of `zip` into `dest` as if its central directory had been
// lost: the archive less its directory goes to `cut`, which is read by the scan of its headers.
inline void readWithoutDirectory(archive::TZipReader& r, const QString& zip, const QString& cut, const QString& dest)
{
    const QByteArray whole = testsupport::readFile(zip);
    testsupport::writeFile(cut, whole.left(whole.indexOf(QByteArray("PK\x01\x02", 4))));
    r.IncompleteZipMode = archive::izAssumeBad;
    r.SetZipName(cut);
    r.SetDestDir(dest);
    r.DoAll = true;
}

} // namespace ziptest

namespace ziptest {

// Builds archives byte by byte, for names and methods no tool would write.
struct RawMember {
    QByteArray name;
    QByteArray data; // stored as given
    uint16_t method = 0;
    uint32_t crc = 0; // 0: computed from data
    uint16_t flags = 0;
    uint32_t dosTime = 0x5A8E6000; // 2025-04-14 12:00:00
    int64_t size = -1; // uncompressed size; -1: the size of data (and crc 0: that of data)
};

inline void put16(QByteArray& b, uint16_t v) { b.append(char(v & 0xFF)).append(char(v >> 8)); }
inline void put32(QByteArray& b, uint32_t v)
{
    put16(b, uint16_t(v & 0xFFFF));
    put16(b, uint16_t(v >> 16));
}

QByteArray rawZip(const QList<RawMember>& members, const QByteArray& comment = QByteArray());

// A member name of the public archives' EXPECTED_contents.tsv as extracted here: names 7z could
// not decode carry escaped bytes ("\udcXX"), ours are those bytes in OEM 866; unzip drops
// control characters, so they are dropped here too.
QString tableMemberName(QString name);

} // namespace ziptest
