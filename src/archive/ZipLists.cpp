#include "archive/ZipLists.h"

#include "archive/ZipExceptions.h"
#include "archive/ZipStrings.h"
#include "platform/volumes/Volumes.h"

#include <QDateTime>

#include <climits>
#include <map>
#include <memory>

#include <algorithm>
#include <cmath>

namespace archive {

// ---- class registry for streaming ----

namespace {

struct StreamClass {
    TItemReader reader;
    TItemWriter writer;
};

std::map<QString, StreamClass>& streamClasses()
{
    static std::map<QString, StreamClass> r;
    return r;
}

void writeByte(TStream& s, uint8_t b)
{
    s.WriteBuffer(&b, 1);
}

uint8_t readByte(TStream& s)
{
    uint8_t b = 0;
    s.ReadBuffer(&b, 1);
    return b;
}

} // namespace

void RegisterStreamClass(const QString& className, TItemReader reader, TItemWriter writer)
{
    streamClasses()[className] = StreamClass{std::move(reader), std::move(writer)};
}

void UnregisterStreamClass(const QString& className)
{
    streamClasses().erase(className);
}

// ---- TObjectList ----

TObjectList::TObjectList() = default;

TObjectList::~TObjectList()
{
    Clear();
}

void TObjectList::Error(int index) const
{
    throw EListError(QStringLiteral("List index out of bounds (%1)").arg(index));
}

void TObjectList::Grow()
{
    int delta = 16;
    if (capacity_ < 5)
        delta = 4;
    else if (capacity_ < 9)
        delta = 8;
    // The last step stops at the largest list, so all 65535 entries can be used.
    SetCapacity(std::min(capacity_ + delta, int(MaxListSize)));
}

void TObjectList::SetCapacity(int n)
{
    if (n < count_ || n > MaxListSize)
        Error(n);
    items_.resize(size_t(n), nullptr);
    capacity_ = n;
}

void TObjectList::SetCount(int n)
{
    if (n < 0 || n > MaxListSize)
        Error(n);
    if (n > capacity_)
        SetCapacity(n);
    for (int i = n; i < count_; ++i) {
        TObject* o = items_[size_t(i)];
        items_[size_t(i)] = nullptr;
        FreeObject(o);
    }
    for (int i = count_; i < n; ++i)
        items_[size_t(i)] = nullptr;
    count_ = n;
}

TObject* TObjectList::Get(int index) const
{
    if (index < 0 || index >= count_)
        Error(index);
    return items_[size_t(index)];
}

void TObjectList::Put(int index, TObject* obj)
{
    if (index < 0 || index >= count_)
        Error(index);
    items_[size_t(index)] = obj;
}

void TObjectList::InsertAt(int index, TObject* obj)
{
    if (index < 0 || index > count_)
        Error(index);
    if (count_ >= MaxListSize)
        throw EListError(QStringLiteral("List capacity out of bounds (%1)").arg(count_ + 1));
    if (count_ == capacity_)
        Grow();
    for (int i = count_; i > index; --i)
        items_[size_t(i)] = items_[size_t(i - 1)];
    items_[size_t(index)] = obj;
    ++count_;
}

int TObjectList::Add(TObject* obj)
{
    const int index = count_;
    InsertAt(index, obj);
    return index;
}

void TObjectList::Insert(int index, TObject* obj)
{
    InsertAt(index, obj);
}

int TObjectList::IndexOf(const TObject* obj) const
{
    for (int i = 0; i < count_; ++i)
        if (items_[size_t(i)] == obj)
            return i;
    return -1;
}

TObject* TObjectList::First() const
{
    return count_ > 0 ? items_[0] : nullptr;
}

TObject* TObjectList::Last() const
{
    return count_ > 0 ? items_[size_t(count_ - 1)] : nullptr;
}

TObject* TObjectList::Neighbour(const TObject* obj, bool forward) const
{
    if (!obj)
        return forward ? First() : Last();
    const int i = TObjectList::IndexOf(obj);
    if (i < 0)
        throw EListError(QStringLiteral("tObject %1 not in item list").arg(obj->ClassName()));
    const int j = forward ? i + 1 : i - 1;
    return (j >= 0 && j < count_) ? items_[size_t(j)] : nullptr;
}

TObject* TObjectList::Extract(int index)
{
    TObject* o = Get(index);
    for (int i = index; i < count_ - 1; ++i)
        items_[size_t(i)] = items_[size_t(i + 1)];
    --count_;
    items_[size_t(count_)] = nullptr;
    return o;
}

void TObjectList::Delete(int index)
{
    FreeObject(Extract(index));
}

void TObjectList::Clear()
{
    for (int i = 0; i < count_; ++i) {
        TObject* o = items_[size_t(i)];
        items_[size_t(i)] = nullptr;
        FreeObject(o);
    }
    items_.clear();
    items_.shrink_to_fit();
    count_ = 0;
    capacity_ = 0;
}

void TObjectList::FreeObject(TObject* obj)
{
    if (OwnsObjects)
        delete obj;
}

void TObjectList::WriteObjects(TStream& stream) const
{
    uint8_t count[4];
    PutLE32(count, uint32_t(count_));
    stream.WriteBuffer(count, 4);
    for (int i = 0; i < count_; ++i) {
        const TObject* o = items_[size_t(i)];
        if (!o)
            throw EClassNotFound(QStringLiteral("Nil Source Class!"));
        const QString name = o->ClassName();
        const auto it = streamClasses().find(name);
        if (it == streamClasses().end() || !it->second.writer)
            throw EClassNotFound(QStringLiteral("Source Class <%1> not registered").arg(name));
        const QByteArray n = name.toLatin1().left(63);
        writeByte(stream, uint8_t(n.size()));
        stream.WriteBuffer(n.constData(), n.size());
        it->second.writer(stream, *o);
    }
}

void TObjectList::ReadObjects(TStream& stream)
{
    uint8_t countBytes[4];
    stream.ReadBuffer(countBytes, 4);
    const uint32_t count = GetLE32(countBytes);
    if (count > uint32_t(MaxListSize))
        Error(int(std::min<uint32_t>(count, INT32_MAX)));
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t len = readByte(stream);
        QByteArray n(len, '\0');
        stream.ReadBuffer(n.data(), len);
        const QString name = QString::fromLatin1(n);
        const auto it = streamClasses().find(name);
        if (it == streamClasses().end() || !it->second.reader)
            throw EClassNotFound(QStringLiteral("Class <%1> not registered").arg(name));
        std::unique_ptr<TObject> o(it->second.reader(stream));
        if (Add(o.get()) >= 0)
            o.release();
    }
}

void TObjectList::WriteItems(TStream& stream) const
{
    writeByte(stream, OwnsObjects ? 1 : 0);
    WriteObjects(stream);
}

void TObjectList::ReadItems(TStream& stream)
{
    Clear();
    OwnsObjects = readByte(stream) != 0;
    ReadObjects(stream);
}

// ---- TSortedObjectList ----

TSortedObjectList::TSortedObjectList(TDuplicates duplicates) : Duplicates(duplicates) {}

void TSortedObjectList::Put(int, TObject*)
{
    throw EListError(QStringLiteral("Cannot <Put> an Object in a sorted list!"));
}

bool TSortedObjectList::Find(const TObject* key, int& index) const
{
    int low = 0;
    int high = count_ - 1;
    bool found = false;
    while (low <= high) {
        const int mid = (low + high) / 2;
        const int c = Compare(KeyOf(items_[size_t(mid)]), key);
        if (c < 0) {
            low = mid + 1;
        } else {
            high = mid - 1;
            if (c == 0) {
                found = true;
                if (Duplicates != dupAccept)
                    low = mid;
            }
        }
    }
    index = low;
    return found;
}

int TSortedObjectList::InsertSorted(TObject* obj)
{
    int index = 0;
    if (Find(KeyOf(obj), index)) {
        if (Duplicates == dupIgnore)
            return -1;
        if (Duplicates == dupError)
            throw EListError(SDuplicateObjectIndex);
    }
    InsertAt(index, obj);
    return index;
}

int TSortedObjectList::Add(TObject* obj)
{
    return InsertSorted(obj);
}

void TSortedObjectList::Insert(int, TObject* obj)
{
    InsertSorted(obj);
}

int TSortedObjectList::IndexOf(const TObject* obj) const
{
    int index = 0;
    return Find(KeyOf(obj), index) ? index : -1;
}

void TSortedObjectList::WriteItems(TStream& stream) const
{
    writeByte(stream, Duplicates);
    TObjectList::WriteItems(stream);
}

void TSortedObjectList::ReadItems(TStream& stream)
{
    const uint8_t d = readByte(stream);
    Duplicates = d <= dupError ? TDuplicates(d) : dupError;
    TObjectList::ReadItems(stream);
}

// ---- TSortedZip ----

namespace {

// A name in two pieces read as one (a member's folder and file name), so that comparing
// full names builds no string.
struct TNamePieces {
    const QString& first;
    const QString& second;
    qsizetype size() const { return first.size() + second.size(); }
    char16_t at(qsizetype i) const { return i < first.size() ? first[i].unicode() : second[i - first.size()].unicode(); }
};

int compareNoCase(const TNamePieces& a, const TNamePieces& b)
{
    // ASCII letters only, as member names are compared in the archive's own order.
    const qsizetype n = std::min(a.size(), b.size());
    for (qsizetype i = 0; i < n; ++i) {
        char16_t x = a.at(i), y = b.at(i);
        if (x >= 'A' && x <= 'Z')
            x += 32;
        if (y >= 'A' && y <= 'Z')
            y += 32;
        if (x != y)
            return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

int compareNoCase(const QString& a, const QString& b)
{
    const QString none;
    return compareNoCase(TNamePieces{a, none}, TNamePieces{b, none});
}

// Date-time as a comparable number; one that cannot be converted counts as 0.
double dateValue(uint32_t dos)
{
    const QDateTime dt = platform::dateTimeFromDosDateTime(dos);
    if (!dt.isValid())
        return 0.0;
    return double(QDateTime(QDate(1899, 12, 30), QTime(0, 0)).msecsTo(dt)) / 86400000.0;
}

} // namespace

int ZipRate(const TZipHeaderInfo& h)
{
    if (h.UncompressedSize == 0)
        return 0;
    const double r = std::nearbyint(double(h.CompressedSize) * 100.0 / double(h.UncompressedSize));
    return r > 100.0 ? 100 : int(r);
}

int TSortedZip::Compare(const TObject* key1, const TObject* key2) const
{
    const auto* a = static_cast<const TZipHeaderInfo*>(key1);
    const auto* b = static_cast<const TZipHeaderInfo*>(key2);
    switch (SortMode) {
    case ByName: return compareNoCase(TNamePieces{a->Directory(), a->FileName()}, TNamePieces{b->Directory(), b->FileName()});
    case ByFileName: return compareNoCase(a->FileName(), b->FileName());
    case ByDirectoryName: return compareNoCase(a->Directory(), b->Directory());
    case ByDate: return dateValue(a->DateTime) >= dateValue(b->DateTime) ? -1 : 1;
    case ByCompressedSize: return a->CompressedSize >= b->CompressedSize ? -1 : 1;
    case ByUnCompressedSize: return a->UncompressedSize >= b->UncompressedSize ? -1 : 1;
    case ByRate: return ZipRate(*b) - ZipRate(*a);
    case ByNone:
        if (a->DiskNumberStart != b->DiskNumberStart)
            return int(a->DiskNumberStart) - int(b->DiskNumberStart);
        if (a->RelativeOffset < b->RelativeOffset)
            return -1;
        return a->RelativeOffset == b->RelativeOffset ? 0 : 1;
    }
    return -1;
}

} // namespace archive
