// CRC-32 and the traditional encryption, against zlib and against archives of zip and 7z.
#include "FoundationHelpers.h"
#include "support/TestSupport.h"

#include "archive/ZipCrc.h"
#include "archive/ZipCrypt.h"
#include "archive/ZipExceptions.h"
#include "archive/ZipRecords.h"

#include <gtest/gtest.h>
#include <random>
#include <zlib.h>

using namespace archive;
using namespace zipbase_test;
using testsupport::TempDir;

TEST(ZipCrc, KnownValuesAndZlibAgreement)
{
    EXPECT_EQ(UpdateCrc32(0, "abc", 3), 0x352441C2u);
    EXPECT_EQ(UpdateCrc32(0, "", 0), 0u);
    EXPECT_EQ(UpdateCrc32(0, "123456789", 9), 0xCBF43926u);
    TCrcRegister r;
    EXPECT_EQ(r.Crc(), 0u);
    r.UpdateCRC("ab", 2);
    r.UpdateCRC("c", 1);
    EXPECT_EQ(r.Crc(), 0x352441C2u);
    EXPECT_EQ(CRCTable[1], 0x77073096u);
    EXPECT_EQ(CRC32Step('a', 0xFFFFFFFFu), UpdateCrcRegister(0xFFFFFFFFu, "a", 1));

    // Every length and alignment around the 16-byte fast path, chained in pieces.
    std::mt19937 rng(7);
    QByteArray buf(5000, '\0');
    for (char& c : buf)
        c = char(rng());
    for (int offset = 0; offset < 8; ++offset)
        for (int len : {0, 1, 7, 15, 16, 17, 31, 33, 100, 127, 128, 129, 143, 191, 192, 255, 1000, 4091}) {
            const auto* p = reinterpret_cast<const Bytef*>(buf.constData() + offset);
            const uint32_t z = uint32_t(crc32(0, p, uInt(len)));
            EXPECT_EQ(UpdateCrc32(0, p, size_t(len)), z) << offset << "/" << len;
            const uint32_t half = UpdateCrc32(0, p, size_t(len / 3));
            EXPECT_EQ(UpdateCrc32(half, p + len / 3, size_t(len - len / 3)), z);
        }
}

TEST(ZipCrypt, KeysHeaderAndRoundTrip)
{
    TZipCrypt c;
    c.init_keys(QByteArray());
    EXPECT_EQ(c.Keys[0], 0x12345678u);
    EXPECT_EQ(c.Keys[1], 0x23456789u);
    EXPECT_EQ(c.Keys[2], 0x34567890u);

    const QByteArray plain = "The quick brown fox jumps over the lazy dog";
    const uint32_t crc = UpdateCrc32(0, plain.constData(), size_t(plain.size()));
    TZipCrypt w;
    const auto header = w.MakeHeader("secret", crc);
    QByteArray data = plain;
    w.EncryptBuffer(data.data(), size_t(data.size()));
    EXPECT_NE(data, plain);

    TMemoryStream s(QByteArray(reinterpret_cast<const char*>(header.data()), int(header.size())) + data);
    TZipCrypt r;
    int64_t remaining = s.Size();
    EXPECT_EQ(r.DecryptHeader("secret", s, remaining), uint8_t(crc >> 24));
    EXPECT_EQ(remaining, plain.size());
    EXPECT_EQ(TZipCrypt::CheckByte(0, crc, 0), uint8_t(crc >> 24));
    r.DecryptBuffer(data.data(), 10);
    r.DecryptBuffer(data.data() + 10, size_t(data.size() - 10)); // keys run on across chunks
    EXPECT_EQ(data, plain);

    // Two headers for the same member differ: the filler is random.
    TZipCrypt w2;
    EXPECT_NE(w2.MakeHeader("secret", crc), header);

    TMemoryStream cut(QByteArray(5, 'x'));
    remaining = 5;
    EXPECT_THROW(r.DecryptHeader("secret", cut, remaining), EFatalUnzipError);
    // Written as UTF-8; read as UTF-8, Windows-1251 and OEM 866 in turn.
    EXPECT_EQ(PasswordBytes(QStringLiteral("пароль")), QStringLiteral("пароль").toUtf8());
    EXPECT_EQ(PasswordCandidates(QStringLiteral("пароль")),
              (QList<QByteArray>{QStringLiteral("пароль").toUtf8(), QByteArray("\xEF\xE0\xF0\xEE\xEB\xFC"),
                                 QByteArray("\xAF\xA0\xE0\xAE\xAB\xEC")}));
    EXPECT_EQ(PasswordCandidates(QStringLiteral("secret")), QList<QByteArray>{"secret"});
    EXPECT_EQ(PasswordCandidates(QStringLiteral("日本")), QList<QByteArray>{QStringLiteral("日本").toUtf8()});
}

namespace {

struct Member {
    TZipHeaderInfo h;
    QByteArray data; // compressed bytes, still encrypted
};

// Reads every member of an archive with the records of this component.
std::vector<Member> readMembers(const QString& file)
{
    std::vector<Member> out;
    TFileStream f(file, fmOpenRead);
    TS_BufferStream s(&f);
    TEndCentral end;
    if (!end.FindEndCentral(s))
        return out;
    s.Seek(end.CentralOffset, soFromBeginning);
    std::vector<TZipHeaderInfo> central(end.TotalEntries);
    TStream* p = &s;
    for (auto& h : central)
        EXPECT_TRUE(h.ReadCentralFromStream(p));
    for (auto& h : central) {
        Member m;
        m.h.Assign(h);
        s.Seek(h.RelativeOffset, soFromBeginning);
        TZipHeaderInfo local;
        EXPECT_TRUE(local.ReadLocalFromStream(s));
        s.Seek(local.ExtraFieldLength, soFromCurrent);
        m.data.resize(int(h.CompressedSize));
        s.ReadBuffer(m.data.data(), m.data.size());
        out.push_back(std::move(m));
    }
    return out;
}

QByteArray rawInflate(const QByteArray& in, int outSize)
{
    QByteArray out(outSize, '\0');
    z_stream z{};
    inflateInit2(&z, -15);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.constData()));
    z.avail_in = uInt(in.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = uInt(out.size());
    inflate(&z, Z_FINISH);
    out.resize(int(z.total_out));
    inflateEnd(&z);
    return out;
}

// Decrypts one member: whether the header check passed and whether the CRC of the result is right.
std::pair<bool, bool> tryPassword(const Member& m, const QByteArray& password)
{
    TMemoryStream s(m.data);
    TZipCrypt c;
    int64_t remaining = m.data.size();
    const uint8_t check = c.DecryptHeader(password, s, remaining);
    QByteArray body = m.data.mid(EncryptionHeaderSize);
    c.DecryptBuffer(body.data(), size_t(body.size()));
    const QByteArray plain = m.h.CompressionMethod == 8 ? rawInflate(body, int(m.h.UncompressedSize)) : body;
    const bool crcOk = UpdateCrc32(0, plain.constData(), size_t(plain.size())) == m.h.CRC32
        && plain.size() == qsizetype(m.h.UncompressedSize);
    return {check == TZipCrypt::CheckByte(m.h.Flags, m.h.CRC32, m.h.DateTime), crcOk};
}

} // namespace

TEST(ZipCrypt, DecryptsWhatZipAnd7zEncrypted)
{
    TempDir dir;
    QByteArray text;
    for (int i = 0; i < 2000; ++i)
        text += "line " + QByteArray::number(i) + " of the secret file\n";
    testsupport::writeFile(dir.file("src/secret.txt"), text);
    testsupport::writeFile(dir.file("src/small.txt"), "tiny");

    struct Made {
        const char* tool;
        QString archive;
        QStringList args;
    };
    std::vector<Made> made;
    if (testsupport::haveTool("zip")) {
        made.push_back({"zip", "zip-stored.zip", {"-q", "-0", "-P", "Pa55word", "../zip-stored.zip", "secret.txt", "small.txt"}});
        made.push_back({"zip", "zip-deflated.zip", {"-q", "-9", "-P", "Pa55word", "../zip-deflated.zip", "secret.txt", "small.txt"}});
    }
    if (testsupport::haveTool("7z"))
        made.push_back({"7z", "7z.zip", {"a", "-tzip", "-mem=ZipCrypto", "-pPa55word", "../7z.zip", "secret.txt", "small.txt"}});
    if (made.empty())
        GTEST_SKIP() << "neither zip nor 7z installed";
    for (const Made& m : made) {
        SCOPED_TRACE(m.archive.toStdString());
        ASSERT_EQ(testsupport::runTool(m.tool, m.args, nullptr, nullptr, dir.file("src")), 0);
        const auto members = readMembers(dir.file(m.archive));
        ASSERT_EQ(members.size(), 2u);
        for (const Member& mem : members) {
            EXPECT_TRUE(mem.h.Encrypted());
            const auto right = tryPassword(mem, "Pa55word");
            EXPECT_TRUE(right.first);
            EXPECT_TRUE(right.second);
            // A wrong password fails the check byte, or (one time in 256) the CRC after it.
            int passedBoth = 0;
            for (const char* wrong : {"pa55word", "Pa55wor", "x", ""}) {
                const auto w = tryPassword(mem, wrong);
                EXPECT_FALSE(w.second) << wrong;
                passedBoth += w.first && w.second;
            }
            EXPECT_EQ(passedBoth, 0);
        }
    }
}

TEST(ZipCrypt, OtherToolsDecryptWhatWeEncrypted)
{
    // A stored member encrypted by this component, laid out as the writer does.
    const QByteArray plain = QByteArray("encrypted by Morvanel\n").repeated(100);
    const uint32_t crc = UpdateCrc32(0, plain.constData(), size_t(plain.size()));
    TMemoryStream s;
    TZipHeaderInfo h;
    h.SetFilename(QStringLiteral("secret.txt"));
    h.CompressionMethod = 0;
    h.Flags = FlagEncrypted;
    h.DateTime = 0x5A8F6C21;
    h.CRC32 = crc;
    h.UncompressedSize = uint32_t(plain.size());
    h.CompressedSize = uint32_t(plain.size() + EncryptionHeaderSize);
    h.SaveLocalToStream(s);
    TZipCrypt c;
    const auto header = c.MakeHeader(PasswordBytes(QStringLiteral("Pa55word")), crc);
    s.WriteBuffer(header.data(), header.size());
    QByteArray data = plain;
    c.EncryptBuffer(data.data(), size_t(data.size()));
    s.WriteBuffer(data.constData(), data.size());
    TEndCentral end;
    end.CentralOffset = uint32_t(s.Position());
    h.SaveCentralToStream(s);
    end.CentralSize = uint32_t(s.Position()) - end.CentralOffset;
    end.EntriesThisDisk = end.TotalEntries = 1;
    end.SaveEndCentralToStream(s);
    TempDir dir;
    testsupport::writeFile(dir.file("enc.zip"), s.Data());

    QByteArray out;
    if (testsupport::haveTool("unzip")) {
        EXPECT_EQ(testsupport::runTool("unzip", {"-p", "-P", "Pa55word", dir.file("enc.zip"), "secret.txt"}, &out), 0);
        EXPECT_EQ(out, plain);
        EXPECT_NE(testsupport::runTool("unzip", {"-t", "-P", "wrong", dir.file("enc.zip")}, &out), 0);
    }
    if (testsupport::haveTool("7z")) {
        EXPECT_EQ(testsupport::runTool("7z", {"t", "-pPa55word", dir.file("enc.zip")}, &out), 0) << out.constData();
        EXPECT_NE(testsupport::runTool("7z", {"t", "-pwrong", dir.file("enc.zip")}, &out), 0);
    }
    testsupport::writeFile(dir.file("plain"), plain);
    const QByteArray py = python("import zipfile,sys\nz=zipfile.ZipFile(sys.argv[1])\nz.setpassword(b'Pa55word')\n"
                                 "sys.stdout.write(str(z.read('secret.txt')==open(sys.argv[2],'rb').read()))",
                                 {dir.file("enc.zip"), dir.file("plain")});
    EXPECT_EQ(py, QByteArray("True"));
}
