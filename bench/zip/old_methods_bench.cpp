// oldmethods-bench DIR [WORKDIR]: the files of DIR (the corpus of scripts/make-corpus) packed by
// the test encoders as a shrunk, a reduced (factor 4) and an imploded (8192-byte window, three
// trees) archive; each archive extracted by the component, tested by unzip -t and 7z t, and
// expanded in memory by the raw decoder. Output in MB/s of expanded data, best of three.
#include "../../tests/archive/encoders/OldMethodEncoders.h"

#include "archive/OldMethods.h"
#include "archive/ZipCrc.h"
#include "archive/ZipReader.h"
#include "platform/dialogs/Dialogs.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>

namespace {

void put16(QByteArray& b, uint16_t v) { b.append(char(v & 0xFF)).append(char(v >> 8)); }
void put32(QByteArray& b, uint32_t v)
{
    put16(b, uint16_t(v));
    put16(b, uint16_t(v >> 16));
}

struct Member {
    QByteArray name;
    oldenc::Bytes plain, packed;
};

QByteArray zipOf(const QList<Member>& members, uint16_t method, uint16_t flags)
{
    QByteArray out, central;
    for (const Member& m : members) {
        const uint32_t crc = archive::UpdateCrc32(0, m.plain.data(), m.plain.size());
        const uint32_t offset = uint32_t(out.size());
        for (QByteArray* b : {&out, &central}) {
            const bool c = b == &central;
            put32(*b, c ? 0x02014b50 : 0x04034b50);
            if (c)
                put16(*b, 20);
            put16(*b, 20);
            put16(*b, flags);
            put16(*b, method);
            put32(*b, 0x5A8E6000);
            put32(*b, crc);
            put32(*b, uint32_t(m.packed.size()));
            put32(*b, uint32_t(m.plain.size()));
            put16(*b, uint16_t(m.name.size()));
            put16(*b, 0);
            if (c) {
                put16(*b, 0);
                put16(*b, 0);
                put16(*b, 0);
                put32(*b, 0x20);
                put32(*b, offset);
            }
            *b += m.name;
        }
        out.append(reinterpret_cast<const char*>(m.packed.data()), qsizetype(m.packed.size()));
    }
    const uint32_t cd = uint32_t(out.size());
    out += central;
    put32(out, 0x06054b50);
    put32(out, 0);
    put16(out, uint16_t(members.size()));
    put16(out, uint16_t(members.size()));
    put32(out, uint32_t(central.size()));
    put32(out, cd);
    put16(out, 0);
    return out;
}

double mbps(uint64_t bytes, qint64 ms)
{
    return ms > 0 ? double(bytes) / 1e6 / (double(ms) / 1000.0) : 0.0;
}

qint64 timeTool(const QString& program, const QStringList& args)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    QElapsedTimer t;
    t.start();
    p.start(program, args);
    if (!p.waitForStarted())
        return -1;
    p.waitForFinished(-1);
    const qint64 ms = t.elapsed();
    if (p.exitCode() != 0) {
        std::fprintf(stderr, "%s failed (%d)\n", qPrintable(program), p.exitCode());
        return -1;
    }
    return ms;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    platform::setDialogs(std::make_unique<platform::ScriptedDialogs>());
    const QStringList args = app.arguments().mid(1);
    if (args.isEmpty()) {
        std::fputs("usage: oldmethods-bench DIR [WORKDIR]\n", stderr);
        return 2;
    }
    QTemporaryDir tmp;
    const QString work = args.value(1, tmp.path());
    QDir().mkpath(work);
    QList<Member> files;
    uint64_t total = 0;
    for (QDirIterator it(args[0], QDir::Files); it.hasNext();) {
        QFile f(it.next());
        if (!f.open(QIODevice::ReadOnly))
            continue;
        const QByteArray data = f.readAll();
        files.append({QFile::encodeName(it.fileName()), oldenc::Bytes(data.begin(), data.end()), {}});
        total += uint64_t(data.size());
    }
    std::printf("corpus %s: %lld files, %llu bytes\n", qPrintable(args[0]), (long long)files.size(), (unsigned long long)total);

    struct Kind {
        const char* name;
        uint16_t method, flags;
        std::function<oldenc::Bytes(const oldenc::Bytes&)> encode;
        bool peers;
    };
    const QList<Kind> kinds{
        {"shrink", 1, 0, [](const oldenc::Bytes& b) { return oldenc::shrink(b); }, true},
        {"reduce4", 5, 0, [](const oldenc::Bytes& b) { return oldenc::reduce(b, 4); }, false},
        {"implode8k3", 6, 6, [](const oldenc::Bytes& b) { return oldenc::implode(b, true, true); }, true},
    };
    int rc = 0;
    for (const Kind& k : kinds) {
        QList<Member> members = files;
        uint64_t packed = 0;
        for (Member& m : members) {
            m.packed = k.encode(m.plain);
            packed += m.packed.size();
        }
        const QString zip = work + QStringLiteral("/%1.zip").arg(QLatin1String(k.name));
        QFile out(zip);
        if (!out.open(QIODevice::WriteOnly) || out.write(zipOf(members, k.method, k.flags)) < 0)
            return 1;
        out.close();
        qint64 ours = -1, raw = -1, unzip = -1, sevenZ = -1;
        auto best = [](qint64& b, qint64 v) {
            if (v >= 0)
                b = b < 0 ? v : std::min(b, v);
        };
        for (int round = 0; round < 3; ++round) {
            QElapsedTimer t;
            t.start();
            archive::TZipReader r;
            r.SetZipName(zip);
            r.SetDestDir(work + QStringLiteral("/x"));
            r.DoAll = true;
            r.OverwriteMode = archive::Always;
            if (r.UnZip() != members.size())
                rc = 1;
            best(ours, t.elapsed());
            t.restart();
            for (const Member& m : members) {
                std::vector<uint8_t> expanded;
                archive::ExpandOldMethodBuffer(k.method, k.flags, m.packed.data(), m.packed.size(), m.plain.size(), expanded);
                if (expanded != m.plain)
                    rc = 1;
            }
            best(raw, t.elapsed());
            if (k.peers) {
                best(unzip, timeTool(QStringLiteral("unzip"), {QStringLiteral("-tq"), zip}));
                best(sevenZ, timeTool(QStringLiteral("7z"), {QStringLiteral("t"), zip}));
            }
        }
        std::printf("%-11s %llu -> %llu bytes: extraction %.1f MB/s, in memory %.1f MB/s", k.name,
                    (unsigned long long)total, (unsigned long long)packed, mbps(total, ours), mbps(total, raw));
        if (k.peers)
            std::printf(", unzip -t %.1f MB/s, 7z t %.1f MB/s", mbps(total, unzip), mbps(total, sevenZ));
        std::printf("\n");
        QDir(work + QStringLiteral("/x")).removeRecursively();
    }
    if (rc)
        std::puts("MISMATCH: a member did not come out as it went in");
    return rc;
}
