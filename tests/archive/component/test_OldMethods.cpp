// Members of the older methods (shrink, reduce, implode) in public archives and in archives
// made by the test encoders, extracted with the component; damaged members fail alone.
#include "ComponentSupport.h"
#include "../encoders/OldMethodEncoders.h"

#include "archive/OldMethods.h"
#include "archive/ZipCrc.h"
#include "archive/ZipCrypt.h"
#include "archive/ZipReader.h"
#include "platform/dialogs/Dialogs.h"

#include <QCryptographicHash>
#include <QElapsedTimer>

using namespace ziptest;
using namespace archive;

namespace {

QByteArray sha256(const QByteArray& data)
{
    return QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex();
}

QString zipData()
{
    return testdataDir() + "zip/";
}

// What each original file must come out as, by its extension.
QByteArray expectedFor(const QString& name)
{
    const QString n = name.toLower();
    if (n.endsWith(u".exe"))
        return readFile(zipData() + "sharpcompress/expected/exe/test.exe");
    if (n.endsWith(u".jpg"))
        return readFile(zipData() + "sharpcompress/expected/jpg/test.jpg");
    if (n.contains(u"first"))
        return readFile(zipData() + "zip2/expected/first.txt");
    return readFile(zipData() + QStringLiteral("sharpcompress/expected/тест.txt"));
}

} // namespace

TEST(OldMethods, PublicArchivesExtractToTheOriginalFiles)
{
    MV_REQUIRE_TESTDATA();
    struct Case {
        const char* archive;
        QStringList names;
    };
    const QList<Case> cases{
        // The shrunk and reduced sets name the text in Latin look-alikes ("TECT"); the
        // imploded one's Unicode name field gives its OEM bytes as read in code page 437, and
        // unzip and 7z show that name.
        {"sharpcompress/Zip.shrink.zip", {"TEST.EXE", "TEST.JPG", "TECT.TXT"}},
        {"sharpcompress/Zip.reduce1.zip", {"TEST.EXE", "TEST.JPG", "TECT.TXT"}},
        {"sharpcompress/Zip.reduce2.zip", {"TEST.EXE", "TEST.JPG", "TECT.TXT"}},
        {"sharpcompress/Zip.reduce3.zip", {"TEST.EXE", "TEST.JPG", "TECT.TXT"}},
        {"sharpcompress/Zip.reduce4.zip", {"TEST.EXE", "TEST.JPG", "TECT.TXT"}},
        {"sharpcompress/Zip.implode.zip", {"EXE/TEST.EXE", "JPG/TEST.JPG", "ΓÑßΓ.txt"}},
        {"zip2/legacy/shrink.zip", {"FIRST.TXT"}},
        {"zip2/legacy/reduce.zip", {"first.txt"}},
        {"zip2/legacy/implode.zip", {"first.txt"}},
    };
    platform::ScopedScriptedDialogs dlg; // "Unknown Compression Method" would show here
    for (const Case& c : cases) {
        SCOPED_TRACE(c.archive);
        TempDir t;
        const Extracted ex = unzipAll(zipData() + c.archive, t.file("x"));
        EXPECT_EQ(ex.count, c.names.size());
        EXPECT_TRUE(ex.badCrc.isEmpty()) << ex.badCrc.join(",").toStdString();
        EXPECT_TRUE(ex.skipped.isEmpty()) << ex.skipped.join(",").toStdString();
        const auto tree = treeOf(t.file("x"));
        QStringList names = c.names;
        names.sort();
        EXPECT_EQ(tree.keys(), names);
        for (auto it = tree.cbegin(); it != tree.cend(); ++it)
            EXPECT_EQ(sha256(it.value()), sha256(expectedFor(it.key()))) << it.key().toStdString();
    }
    EXPECT_TRUE(dlg->shown().isEmpty());
}

namespace {

oldenc::Bytes bytesOf(const QByteArray& a)
{
    return oldenc::Bytes(a.begin(), a.end());
}
QByteArray qbytes(const oldenc::Bytes& b)
{
    return QByteArray(reinterpret_cast<const char*>(b.data()), qsizetype(b.size()));
}

// A member of the given method; with a password, the data are encrypted the traditional way.
RawMember oldMember(const QByteArray& name, uint16_t method, uint16_t flags, const QByteArray& plain,
                    const oldenc::Bytes& packed, const QByteArray& password = QByteArray())
{
    RawMember m{name, qbytes(packed), method};
    m.flags = flags;
    m.crc = UpdateCrc32(0, plain.constData(), size_t(plain.size()));
    m.size = plain.size();
    if (!password.isEmpty()) {
        TZipCrypt c;
        const auto header = c.MakeHeader(password, m.crc);
        c.init_keys(password);
        QByteArray head(reinterpret_cast<const char*>(header.data()), EncryptionHeaderSize);
        c.DecryptBuffer(head.data(), EncryptionHeaderSize); // the keys run on past the header
        c.EncryptBuffer(m.data.data(), size_t(m.data.size()));
        m.data.prepend(QByteArray(reinterpret_cast<const char*>(header.data()), EncryptionHeaderSize));
        m.flags |= 1;
    }
    return m;
}

struct Input {
    QByteArray name;
    QByteArray data;
};

QList<Input> roundTripInputs()
{
    QByteArray mixed;
    for (int i = 0; mixed.size() < 300000; ++i)
        mixed += i % 3 == 0 ? textBytes(9000, i) : i % 3 == 1 ? randomBytes(7000, i) : QByteArray(5000, char('0' + i % 10));
    return {
        {"empty", {}},
        {"one", "x"},
        {"random100", randomBytes(100, 3)},
        {"random1M", randomBytes(1 << 20, 4)},
        {"text", textBytes(150000, 5)},
        {"repeated", QByteArray(70000, char(144))},
        {"mixed300k", mixed},
    };
}

// Our extraction of everything in zip equals the inputs, each with a good CRC.
void expectExtracts(const QString& zip, const QMap<QString, QByteArray>& expected, const QString& password = {})
{
    TempDir t;
    const Extracted ex = unzipAll(zip, t.file("x"), password);
    EXPECT_EQ(ex.count, expected.size());
    EXPECT_TRUE(ex.badCrc.isEmpty()) << ex.badCrc.join(",").toStdString();
    EXPECT_TRUE(ex.skipped.isEmpty()) << ex.skipped.join(",").toStdString();
    const auto tree = treeOf(t.file("x"));
    EXPECT_EQ(tree.keys(), expected.keys());
    for (auto it = expected.cbegin(); it != expected.cend(); ++it)
        EXPECT_TRUE(tree.value(it.key()) == it.value()) << it.key().toStdString();
}

// unzip and 7z, which know shrink and implode, pass the archive.
void expectPeersPass(const QString& zip)
{
    QByteArray out;
    if (requireTool("unzip")) {
        EXPECT_EQ(peer("unzip", {"-t", zip}, &out), 0) << out.toStdString();
    }
    if (requireTool("7z")) {
        EXPECT_EQ(peer("7z", {"t", zip}, &out), 0) << out.toStdString();
    }
}

} // namespace

TEST(OldMethods, ShrinkEncoderRoundTripsThroughPeersAndOurReader)
{
    TempDir t;
    QList<RawMember> members;
    QMap<QString, QByteArray> expected;
    oldenc::ShrinkStats most;
    for (const Input& in : roundTripInputs()) {
        oldenc::ShrinkStats st;
        oldenc::ShrinkOptions opt;
        // Clears while the codes are still short, then whenever the table is full.
        opt.clearAfterCodes = {300, 900, 5000};
        members << oldMember(in.name + ".bin", 1, 0, in.data, oldenc::shrink(bytesOf(in.data), opt, &st));
        expected.insert(in.name + ".bin", in.data);
        most.maxCodeSize = std::max(most.maxCodeSize, st.maxCodeSize);
        most.clears += st.clears;
        most.selfDefined += st.selfDefined;
    }
    // The stream exercises what a shrink decoder must handle.
    EXPECT_EQ(most.maxCodeSize, 13u);
    EXPECT_GT(most.clears, 10u);
    EXPECT_GT(most.selfDefined, 10u);
    writeFile(t.file("shrink.zip"), rawZip(members));
    expectPeersPass(t.file("shrink.zip"));
    expectExtracts(t.file("shrink.zip"), expected);
}

TEST(OldMethods, ImplodeEncoderRoundTripsThroughPeersAndOurReader)
{
    TempDir t;
    QList<RawMember> members;
    QMap<QString, QByteArray> expected;
    bool sawLongMatch = false, sawLargeMember = false;
    for (const unsigned flags : {0u, 2u, 4u, 6u}) {
        for (const Input& in : roundTripInputs()) {
            oldenc::ImplodeStats st;
            const oldenc::Bytes packed = oldenc::implode(bytesOf(in.data), flags & 2, flags & 4, &st);
            const QByteArray name = in.name + "." + QByteArray::number(flags);
            members << oldMember(name, 6, uint16_t(flags), in.data, packed);
            expected.insert(name, in.data);
            sawLongMatch |= st.longMatches > 0;
            sawLargeMember |= packed.size() > 200000;
        }
    }
    EXPECT_TRUE(sawLongMatch);
    EXPECT_TRUE(sawLargeMember);
    writeFile(t.file("implode.zip"), rawZip(members));
    expectPeersPass(t.file("implode.zip"));
    expectExtracts(t.file("implode.zip"), expected);
}

TEST(OldMethods, ReduceEncoderRoundTripsForEveryFactor)
{
    TempDir t;
    QList<RawMember> members;
    QMap<QString, QByteArray> expected;
    for (int factor = 1; factor <= 4; ++factor) {
        for (const Input& in : roundTripInputs()) {
            const QByteArray name = in.name + ".r" + QByteArray::number(factor);
            members << oldMember(name, uint16_t(1 + factor), 0, in.data, oldenc::reduce(bytesOf(in.data), factor));
            expected.insert(name, in.data);
        }
        // Every follower set empty: bytes and the marker only.
        const QByteArray text = textBytes(20000, factor) + QByteArray(3, char(144));
        const QByteArray name = "nofollowers.r" + QByteArray::number(factor);
        members << oldMember(name, uint16_t(1 + factor), 0, text, oldenc::reduce(bytesOf(text), factor, 0));
        expected.insert(name, text);
    }
    writeFile(t.file("reduce.zip"), rawZip(members));
    expectExtracts(t.file("reduce.zip"), expected);
}

TEST(OldMethods, EncryptedMembersNeedTheirPassword)
{
    TempDir t;
    const QByteArray text = textBytes(30000, 9);
    const oldenc::Bytes plain = bytesOf(text);
    const QList<RawMember> members{
        oldMember("s.txt", 1, 0, text, oldenc::shrink(plain), "secret"),
        oldMember("r.txt", 5, 0, text, oldenc::reduce(plain, 4), "secret"),
        oldMember("i.txt", 6, 6, text, oldenc::implode(plain, true, true), "secret"),
    };
    writeFile(t.file("enc.zip"), rawZip(members));
    expectExtracts(t.file("enc.zip"), {{"s.txt", text}, {"r.txt", text}, {"i.txt", text}}, "secret");

    const Extracted wrong = unzipAll(t.file("enc.zip"), t.file("w"), "wrong");
    EXPECT_EQ(wrong.count, 0);
    EXPECT_EQ(wrong.skipped, (QStringList{QString("%1:s.txt").arg(int(srBadPassword)),
                                         QString("%1:r.txt").arg(int(srBadPassword)),
                                         QString("%1:i.txt").arg(int(srBadPassword))}));
    EXPECT_TRUE(treeOf(t.file("w")).isEmpty());
}

TEST(OldMethods, DamagedMembersFailAloneAndLeaveNoFile)
{
    TempDir t;
    platform::ScopedScriptedDialogs dlg;
    const QByteArray text = textBytes(40000, 11);
    const oldenc::Bytes plain = bytesOf(text);
    QList<RawMember> members;
    QStringList damaged;
    auto add = [&](const QByteArray& name, uint16_t method, uint16_t flags, oldenc::Bytes packed, int64_t size) {
        RawMember m = oldMember(name, method, flags, text, packed);
        m.size = size;
        members << m;
        damaged << QString::fromLatin1(name);
    };
    const oldenc::Bytes shrunk = oldenc::shrink(plain), reduced = oldenc::reduce(plain, 3),
                        imploded = oldenc::implode(plain, false, true);
    add("shrunk.cut", 1, 0, oldenc::Bytes(shrunk.begin(), shrunk.begin() + long(shrunk.size() / 2)), text.size());
    add("reduced.cut", 4, 0, oldenc::Bytes(reduced.begin(), reduced.begin() + long(reduced.size() / 2)), text.size());
    add("imploded.cut", 6, 4, oldenc::Bytes(imploded.begin(), imploded.begin() + long(imploded.size() / 2)), text.size());
    for (uint16_t method = 1; method <= 6; ++method) {
        const QByteArray junk = randomBytes(3000, method);
        add("junk" + QByteArray::number(method), method, 6, bytesOf(junk), 1 << 20);
    }
    // 20 bytes claiming 2 GiB.
    add("huge.r", 2, 0, bytesOf(randomBytes(20, 9)), int64_t(1) << 31);
    // A shrink stream asking for code size 14.
    oldenc::BitWriter w;
    w.put('a', 9);
    for (unsigned size = 9; size <= 13; ++size) {
        w.put(256, size);
        w.put(1, size);
    }
    w.put('b', 14);
    add("size14", 1, 0, w.finish(), 2);
    // After all of them a good member, then a reduced one whose first copy reaches before
    // its start: zeros, not what the members before left in the window.
    members << oldMember("good.txt", 6, 4, text, imploded);
    const QByteArray zeros = "A" + QByteArray(4, '\0');
    oldenc::BitWriter z;
    z.put(0, 6 * 256);
    for (const uint8_t b : {uint8_t('A'), uint8_t(144), uint8_t(1), uint8_t(4)})
        z.byte(b);
    members << oldMember("zeros.bin", 2, 0, zeros, z.finish());

    writeFile(t.file("bad.zip"), rawZip(members));
    QDir().mkpath(t.file("x"));
    writeFile(t.file("x/junk3"), "keep me");
    TZipReader r;
    r.SetZipName(t.file("bad.zip"));
    r.SetDestDir(t.file("x"));
    r.DoAll = true;
    r.OverwriteMode = Always;
    QStringList badCrc;
    r.OnBadCRC = [&](TZipReader* s, uint32_t, uint32_t, int i) { badCrc << s->Filename(i); };
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(r.UnZip(), 2);
    EXPECT_LT(timer.elapsed(), 5000);
    badCrc.sort();
    damaged.sort();
    EXPECT_EQ(badCrc, damaged);
    const auto tree = treeOf(t.file("x"));
    EXPECT_EQ(tree.keys(), (QStringList{"good.txt", "junk3", "zeros.bin"}));
    EXPECT_EQ(tree.value("junk3"), "keep me");
    EXPECT_TRUE(tree.value("good.txt") == text);
    EXPECT_EQ(tree.value("zeros.bin"), zeros);
    EXPECT_TRUE(dlg->shown().isEmpty());
}

TEST(OldMethods, UpdatingAPublicArchiveKeepsItsOldMembers)
{
    MV_REQUIRE_TESTDATA();
    for (const char* name : {"Zip.shrink.zip", "Zip.implode.zip"}) {
        SCOPED_TRACE(name);
        TempDir t;
        const QByteArray original = readFile(zipData() + "sharpcompress/" + name);
        writeFile(t.file("a.zip"), original);
        writeFile(t.file("new.txt"), textBytes(5000, 3));
        TZipWriter w;
        w.SetZipName(t.file("a.zip"));
        w.FilesList << t.file("new.txt");
        EXPECT_EQ(w.Zip(), 1);
        const QByteArray updated = readFile(t.file("a.zip"));
        // The old members' local headers and data come first, unchanged.
        const qsizetype oldEnd = original.indexOf("PK\x01\x02");
        ASSERT_GT(oldEnd, 0);
        EXPECT_TRUE(updated.left(oldEnd) == original.left(oldEnd));
        expectPeersPass(t.file("a.zip"));
        TempDir x;
        const Extracted ex = unzipAll(t.file("a.zip"), x.file("x"));
        EXPECT_EQ(ex.count, 4);
        EXPECT_TRUE(ex.badCrc.isEmpty());
    }
}
