// Object lists and the member list in every sort order.
#include "archive/ZipExceptions.h"
#include "archive/ZipLists.h"

#include <QStringList>

#include "FoundationHelpers.h"

#include <gtest/gtest.h>

using namespace archive;
using namespace zipbase_test;

namespace {

struct Counted : TObject {
    explicit Counted(int* alive) : alive_(alive) { ++*alive_; }
    ~Counted() override { --*alive_; }
    QString ClassName() const override { return QStringLiteral("Counted"); }
    int* alive_;
};

TZipHeaderInfo* member(const QString& name, uint32_t csize = 0, uint32_t usize = 0, uint32_t offset = 0,
                       uint32_t date = 0x5A8F6C21, uint16_t disk = 0)
{
    auto* h = new TZipHeaderInfo;
    h->SetFullName(name);
    h->CompressedSize = csize;
    h->UncompressedSize = usize;
    h->RelativeOffset = offset;
    h->DateTime = date;
    h->DiskNumberStart = disk;
    return h;
}

QStringList names(const TSortedZip& l)
{
    QStringList r;
    for (int i = 0; i < l.Count(); ++i)
        r << l.Header(i)->FullName();
    return r;
}

} // namespace

TEST(ObjectList, GrowthOwnershipAndNeighbours)
{
    int alive = 0;
    {
        TObjectList l;
        std::vector<int> caps;
        for (int i = 0; i < 33; ++i) {
            l.Add(new Counted(&alive));
            caps.push_back(l.Capacity());
        }
        EXPECT_EQ(caps[0], 4);
        EXPECT_EQ(caps[4], 8);
        EXPECT_EQ(caps[8], 16);
        EXPECT_EQ(caps[16], 32);
        EXPECT_EQ(caps[32], 48);
        EXPECT_EQ(alive, 33);

        TObject* first = l.First();
        TObject* second = l.Get(1);
        EXPECT_EQ(l.Neighbour(first, true), second);
        EXPECT_EQ(l.Neighbour(first, false), nullptr);
        EXPECT_EQ(l.Neighbour(nullptr, false), l.Last());
        EXPECT_EQ(l.Neighbour(l.Last(), true), nullptr);
        Counted stranger(&alive);
        try {
            l.Neighbour(&stranger, true);
            FAIL();
        } catch (const EListError& e) {
            EXPECT_EQ(e.Message, QStringLiteral("tObject Counted not in item list"));
        }
        EXPECT_EQ(l.IndexOf(second), 1);
        l.Delete(0);
        EXPECT_EQ(alive, 33);
        EXPECT_EQ(l.First(), second);
        EXPECT_THROW(l.Get(99), EListError);
    }
    EXPECT_EQ(alive, 0); // the owning list freed its objects

    TObjectList notOwning;
    notOwning.OwnsObjects = false;
    Counted kept(&alive);
    notOwning.Add(&kept);
    notOwning.Insert(0, nullptr);
    EXPECT_EQ(notOwning.Get(1), &kept);
    notOwning.Clear();
    EXPECT_EQ(notOwning.Capacity(), 0);
    EXPECT_EQ(alive, 1);
}

TEST(ObjectList, HoldsAtMost65535Entries)
{
    TObjectList l;
    l.OwnsObjects = false;
    TObject o;
    for (int i = 0; i < 65535; ++i)
        l.Add(&o);
    EXPECT_EQ(l.Count(), 65535);
    EXPECT_THROW(l.Add(&o), EListError);
    EXPECT_EQ(l.Count(), 65535);
}

TEST(SortedZip, ArchiveOrderAndDuplicates)
{
    TSortedZip l(dupError);
    l.Add(member("c", 0, 0, 300));
    l.Add(member("a", 0, 0, 100));
    l.Add(member("b", 0, 0, 200, 0, 1)); // on the second disk
    l.Add(member("d", 0, 0, 50, 0, 1));
    EXPECT_EQ(names(l), (QStringList{"a", "c", "d", "b"}));
    auto* dup = member("dup", 0, 0, 300);
    try {
        l.Add(dup);
        FAIL();
    } catch (const EListError& e) {
        EXPECT_EQ(e.Message, QStringLiteral("Duplicate Object index"));
    }
    delete dup;
    try {
        l.Put(0, nullptr);
        FAIL();
    } catch (const EListError& e) {
        EXPECT_EQ(e.Message, QStringLiteral("Cannot <Put> an Object in a sorted list!"));
    }

    TSortedZip acc(dupAccept);
    acc.Add(member("old", 0, 0, 300));
    acc.Add(member("new", 0, 0, 300));
    EXPECT_EQ(names(acc), (QStringList{"new", "old"}));

    TSortedZip ign(dupIgnore);
    ign.Add(member("kept", 0, 0, 1));
    auto* ignored = member("ignored", 0, 0, 1);
    EXPECT_EQ(ign.Add(ignored), -1);
    EXPECT_EQ(ign.Count(), 1);
    delete ignored;
    EXPECT_EQ(ign.IndexOf(ign.Header(0)), 0);
}

TEST(SortedZip, EverySortMode)
{
    auto fill = [](TSortedZip& l) {
        l.Add(member("B\\x.txt", 10, 100, 0, 0x5A8F6C21));
        l.Add(member("a\\z.txt", 50, 100, 1, 0x5A906C21));
        l.Add(member("c\\y.txt", 30, 40, 2, 0x5A8E6C21));
        l.Add(member("b\\y.txt", 10, 0, 3, 0x5A8F6C21));
    };
    auto sorted = [&](TZipSortMode mode) {
        TSortedZip l(dupAccept);
        l.SortMode = mode;
        fill(l);
        return names(l);
    };
    // Ties under ByName and friends go before the equal entries: reverse insertion order.
    EXPECT_EQ(sorted(ByName), (QStringList{"a\\z.txt", "B\\x.txt", "b\\y.txt", "c\\y.txt"}));
    EXPECT_EQ(sorted(ByFileName), (QStringList{"B\\x.txt", "b\\y.txt", "c\\y.txt", "a\\z.txt"}));
    EXPECT_EQ(sorted(ByDirectoryName), (QStringList{"a\\z.txt", "b\\y.txt", "B\\x.txt", "c\\y.txt"}));
    // Newest first, equal dates in insertion order.
    EXPECT_EQ(sorted(ByDate), (QStringList{"a\\z.txt", "B\\x.txt", "b\\y.txt", "c\\y.txt"}));
    // Largest first, equal sizes in insertion order.
    EXPECT_EQ(sorted(ByCompressedSize), (QStringList{"a\\z.txt", "c\\y.txt", "B\\x.txt", "b\\y.txt"}));
    EXPECT_EQ(sorted(ByUnCompressedSize), (QStringList{"B\\x.txt", "a\\z.txt", "c\\y.txt", "b\\y.txt"}));
    // Rates: 10, 50, 75, 0 -> highest first.
    EXPECT_EQ(sorted(ByRate), (QStringList{"c\\y.txt", "a\\z.txt", "B\\x.txt", "b\\y.txt"}));
    EXPECT_EQ(sorted(ByNone), (QStringList{"B\\x.txt", "a\\z.txt", "c\\y.txt", "b\\y.txt"}));
}

TEST(SortedZip, EqualNamesComeInReverseInsertionOrder)
{
    TSortedZip l(dupAccept);
    l.SortMode = ByName;
    l.Add(member("same.txt", 1));
    l.Add(member("other.txt", 2));
    l.Add(member("SAME.txt", 3));
    l.Add(member("same.TXT", 4));
    QList<uint32_t> sizes;
    for (int i = 0; i < l.Count(); ++i)
        sizes << l.Header(i)->CompressedSize;
    EXPECT_EQ(sizes, (QList<uint32_t>{2, 4, 3, 1}));
}

TEST(SortedZip, ListsStreamThroughRegisteredClasses)
{
    TSortedZip l(dupAccept);
    l.SortMode = ByCompressedSize;
    l.Add(member("small", 1));
    l.Add(member("big", 9));
    TMemoryStream s;
    try {
        l.WriteItems(s);
        FAIL();
    } catch (const EClassNotFound& e) {
        EXPECT_EQ(e.Message, QStringLiteral("Source Class <TZipHeaderInfo> not registered"));
    }
    RegisterStreamClass(
        QStringLiteral("TZipHeaderInfo"),
        [](TStream& st) {
            auto* h = new TZipHeaderInfo;
            uint8_t b[5];
            st.ReadBuffer(b, 5);
            h->CompressedSize = GetLE32(b);
            QByteArray n(b[4], '\0');
            st.ReadBuffer(n.data(), n.size());
            h->SetFilename(QString::fromLatin1(n));
            return h;
        },
        [](TStream& st, const TObject& o) {
            const auto& h = static_cast<const TZipHeaderInfo&>(o);
            uint8_t b[5];
            PutLE32(b, h.CompressedSize);
            b[4] = uint8_t(h.FileName().size());
            st.WriteBuffer(b, 5);
            st.WriteBuffer(h.FileName().toLatin1().constData(), h.FileName().size());
        });
    s.Clear();
    l.WriteItems(s);
    EXPECT_EQ(hexOf(s.Data()), hexOf(hexBytes("01 01 02 00 00 00"
                                              "0E") + "TZipHeaderInfo" + hexBytes("09 00 00 00 03") + "big"
                                     + hexBytes("0E") + "TZipHeaderInfo" + hexBytes("01 00 00 00 05") + "small"));
    TSortedZip back(dupError);
    back.SortMode = ByCompressedSize;
    s.SetPosition(0);
    back.ReadItems(s);
    EXPECT_EQ(back.Duplicates, dupAccept);
    EXPECT_EQ(names(back), (QStringList{"big", "small"}));
    UnregisterStreamClass(QStringLiteral("TZipHeaderInfo"));
    s.SetPosition(0);
    try {
        back.ReadItems(s);
        FAIL();
    } catch (const EClassNotFound& e) {
        EXPECT_EQ(e.Message, QStringLiteral("Class <TZipHeaderInfo> not registered"));
    }
}

TEST(SortedZip, Rates)
{
    std::unique_ptr<TZipHeaderInfo> h(member("x", 0, 0));
    EXPECT_EQ(ZipRate(*h), 0);
    h->CompressedSize = 150;
    h->UncompressedSize = 100;
    EXPECT_EQ(ZipRate(*h), 100); // grew
    h->CompressedSize = 1;
    h->UncompressedSize = 8;
    EXPECT_EQ(ZipRate(*h), 12); // 12.5 rounds to even
    h->CompressedSize = 3;
    EXPECT_EQ(ZipRate(*h), 38); // 37.5
}
