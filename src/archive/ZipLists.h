#pragma once
// Object lists of the archive component: a growable list that may own its objects, a list
// kept sorted by an abstract comparison, and the member list sorted by a chosen order.
#include "archive/ZipRecords.h"

#include <functional>
#include <vector>

namespace archive {

class TStream;

// Streaming of list items: each class that may be written registers how its data are
// written and how an object is made back from them.
using TItemWriter = std::function<void(TStream& stream, const TObject& obj)>;
using TItemReader = std::function<TObject*(TStream& stream)>;
void RegisterStreamClass(const QString& className, TItemReader reader, TItemWriter writer);
void UnregisterStreamClass(const QString& className);

class TObjectList : public TPersistent {
public:
    static constexpr int MaxListSize = 65535;

    TObjectList();
    ~TObjectList() override;
    TObjectList(const TObjectList&) = delete;
    TObjectList& operator=(const TObjectList&) = delete;
    QString ClassName() const override { return QStringLiteral("TObjectList"); }

    bool OwnsObjects = true; // removed and remaining objects are freed

    int Count() const { return count_; }
    int Capacity() const { return capacity_; }

    // A bad index raises EListError "List index out of bounds (%d)".
    TObject* Get(int index) const;
    TObject* operator[](int index) const { return Get(index); }
    virtual void Put(int index, TObject* obj);
    virtual int Add(TObject* obj);
    virtual void Insert(int index, TObject* obj);
    // By identity, first occurrence, or -1.
    virtual int IndexOf(const TObject* obj) const;
    virtual TObject* First() const;
    virtual TObject* Last() const;
    // The object after (forward) or before obj, nullptr at either end; for obj nullptr the
    // first (forward) or last. An object not listed raises EListError "tObject %s not in item list".
    virtual TObject* Neighbour(const TObject* obj, bool forward) const;
    // Removes the entry at index (freeing the object when owned).
    void Delete(int index);
    // Takes the object out without freeing it.
    TObject* Extract(int index);
    void SetCount(int n);
    void SetCapacity(int n);
    // Frees owned objects; count and capacity become 0.
    virtual void Clear();
    virtual void FreeObject(TObject* obj);

    // OwnsObjects (1 byte), Count (4 bytes) and each object as its class name (length byte,
    // at most 63 characters) and its registered data. A class not registered raises
    // EClassNotFound "Source Class <%s> not registered", an empty entry "Nil Source Class!".
    virtual void WriteItems(TStream& stream) const;
    // Reads what WriteItems wrote, replacing the entries; an unknown class raises
    // EClassNotFound "Class <%s> not registered".
    virtual void ReadItems(TStream& stream);

protected:
    void WriteObjects(TStream& stream) const;
    void ReadObjects(TStream& stream);

    virtual void Error(int index) const;
    virtual void Grow();
    void InsertAt(int index, TObject* obj);

    std::vector<TObject*> items_; // size() == capacity
    int count_ = 0;
    int capacity_ = 0;
};

enum TDuplicates : uint8_t { dupIgnore = 0, dupAccept = 1, dupError = 2 };

class TSortedObjectList : public TObjectList {
public:
    explicit TSortedObjectList(TDuplicates duplicates);
    QString ClassName() const override { return QStringLiteral("TSortedObjectList"); }

    TDuplicates Duplicates;

    // Raises EListError "Cannot <Put> an Object in a sorted list!".
    void Put(int index, TObject* obj) override;
    // Both place obj by Find; the index argument of Insert is ignored. A found key: ignore
    // returns -1 without adding (obj neither added nor freed), error raises EListError
    // "Duplicate Object index", accept inserts before the first equal entry.
    int Add(TObject* obj) override;
    void Insert(int index, TObject* obj) override;
    int IndexOf(const TObject* obj) const override;
    // A sorted list writes and reads its Duplicates byte first.
    void WriteItems(TStream& stream) const override;
    void ReadItems(TStream& stream) override;

    virtual const TObject* KeyOf(const TObject* obj) const { return obj; }
    // Below 0 places key1 (the listed entry) before key2 (the one being placed).
    virtual int Compare(const TObject* key1, const TObject* key2) const = 0;
    // Binary search; index := the first entry not ordered before key.
    virtual bool Find(const TObject* key, int& index) const;

protected:
    // Index where obj went, or -1 when ignored.
    int InsertSorted(TObject* obj);
};

enum TZipSortMode : uint8_t {
    ByName,
    ByFileName,
    ByDirectoryName,
    ByDate,
    ByCompressedSize,
    ByUnCompressedSize,
    ByRate,
    ByNone,
};

// Compression rate of a member in whole percent: compressed * 100 / uncompressed, rounded
// (halves to even), at most 100; 0 for an empty member.
int ZipRate(const TZipHeaderInfo& h);

class TSortedZip : public TSortedObjectList {
public:
    explicit TSortedZip(TDuplicates duplicates) : TSortedObjectList(duplicates) {}
    QString ClassName() const override { return QStringLiteral("TSortedZip"); }

    TZipSortMode SortMode = ByNone;

    TZipHeaderInfo* Header(int index) const { return static_cast<TZipHeaderInfo*>(Get(index)); }
    int Compare(const TObject* key1, const TObject* key2) const override;
};

} // namespace archive
