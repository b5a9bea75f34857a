// Any bytes as an object group, an OLE1 object stream and packager data: no crash, no read past
// the data, no allocation beyond it, and every object written reads back.
#include "platform/richedit/OleObject.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArrayView input(reinterpret_cast<const char*>(data), qsizetype(size));
    platform::RtfObjectInfo info;
    platform::ParseObjectGroup(input, info);
    platform::PackageObject pkg;
    platform::ReadPackageObject(input, pkg);
    platform::OleObject ole;
    if (platform::ParseOleObject(input, ole)) {
        const QByteArray again = platform::WriteOleObject(ole);
        platform::OleObject back;
        if (!platform::ParseOleObject(again, back) || back.native != ole.native || back.className != ole.className)
            __builtin_trap();
        platform::PackageNative p;
        platform::ParsePackage(ole.native, p);
    }
    platform::PackageNative p;
    if (platform::ParsePackage(input, p)) {
        platform::PackageNative back;
        if (!platform::ParsePackage(platform::WritePackage(p), back) || back.data != p.data || back.label != p.label)
            __builtin_trap();
    }
    return 0;
}
