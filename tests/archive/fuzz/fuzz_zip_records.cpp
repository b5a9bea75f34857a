// Damaged archives through the record readers, the end record search, the buffered stream
// and the encryption header; names and patterns through the wildcard matcher.
#include "archive/BufferStream.h"
#include "archive/WildMatch.h"
#include "archive/ZipCrypt.h"
#include "archive/ZipLists.h"
#include "archive/ZipRecords.h"

#include <cstddef>
#include <cstdint>

using namespace archive;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    TMemoryStream mem(bytes);
    TS_BufferStream s(&mem);
    TEndCentral end;
    TSortedZip members(dupIgnore);
    if (end.FindEndCentral(s)) {
        s.Seek(end.CentralOffset, soFromBeginning);
        TStream* p = &s;
        for (int i = 0; i < end.TotalEntries && i < 1000; ++i) {
            auto* h = new TZipHeaderInfo;
            if (!h->ReadCentralFromStream(p)) {
                delete h;
                break;
            }
            if (members.Add(h) < 0)
                delete h;
        }
    }
    for (int i = 0; i < members.Count(); ++i) {
        TZipHeaderInfo* h = members.Header(i);
        s.Seek(h->RelativeOffset, soFromBeginning);
        TZipHeaderInfo local;
        if (local.ReadLocalFromStream(s) && local.Encrypted()) {
            TZipCrypt c;
            int64_t remaining = local.CompressedSize;
            try {
                c.DecryptHeader("pw", s, remaining);
            } catch (const std::exception&) {
            }
        }
        TMemoryStream out;
        h->SaveCentralToStream(out);
        h->SaveLocalToStream(out);
    }
    // The first line is a pattern, the rest a name.
    const qsizetype nl = bytes.indexOf('\n');
    if (nl >= 0 && size < 4096)
        IsMatch(QString::fromLatin1(bytes.left(nl)), QString::fromLatin1(bytes.mid(nl + 1)));
    return 0;
}
