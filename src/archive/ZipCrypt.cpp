#include "archive/ZipCrypt.h"

#include "archive/ZipCrc.h"
#include "archive/ZipExceptions.h"
#include "archive/ZipStrings.h"
#include "platform/text/CodePage.h"

#include <algorithm>
#include <sys/random.h>

namespace archive {

QByteArray PasswordBytes(const QString& password)
{
    return password.toUtf8();
}

QList<QByteArray> PasswordCandidates(const QString& password)
{
    QList<QByteArray> forms{password.toUtf8()};
    for (const platform::CodePage cp : {platform::CodePage::Windows1251, platform::CodePage::Oem866}) {
        if (!platform::canEncode(cp, password))
            continue;
        const QByteArray bytes = platform::encode(cp, password);
        if (!forms.contains(bytes))
            forms << bytes;
    }
    return forms;
}

void TZipCrypt::init_keys(const QByteArray& password)
{
    Keys[0] = 0x12345678u;
    Keys[1] = 0x23456789u;
    Keys[2] = 0x34567890u;
    for (char c : password)
        update_keys(uint8_t(c));
}

void TZipCrypt::update_keys(uint8_t c)
{
    Keys[0] = CRC32Step(c, Keys[0]);
    Keys[1] = (Keys[1] + (Keys[0] & 0xFF)) * 134775813u + 1;
    Keys[2] = CRC32Step(uint8_t(Keys[1] >> 24), Keys[2]);
}

void TZipCrypt::DecryptBuffer(void* buffer, size_t count)
{
    auto* p = static_cast<uint8_t*>(buffer);
    for (size_t i = 0; i < count; ++i)
        p[i] = DecryptByte(p[i]);
}

void TZipCrypt::EncryptBuffer(void* buffer, size_t count)
{
    auto* p = static_cast<uint8_t*>(buffer);
    for (size_t i = 0; i < count; ++i)
        p[i] = EncryptByte(p[i]);
}

uint8_t TZipCrypt::DecryptHeader(const QByteArray& password, TStream& stream, int64_t& remainingCompressed)
{
    uint8_t header[EncryptionHeaderSize];
    const int64_t got = stream.Read(header, EncryptionHeaderSize);
    remainingCompressed = std::max<int64_t>(remainingCompressed - EncryptionHeaderSize, 0);
    if (got != EncryptionHeaderSize)
        throw EFatalUnzipError(SPrematureEnd);
    init_keys(password);
    DecryptBuffer(header, EncryptionHeaderSize);
    return header[EncryptionHeaderSize - 1];
}

namespace {
std::function<void(uint8_t*, size_t)>& fillerSource()
{
    static std::function<void(uint8_t*, size_t)> source;
    return source;
}
} // namespace

void SetEncryptionFillerSource(std::function<void(uint8_t* bytes, size_t count)> source)
{
    fillerSource() = std::move(source);
}

std::array<uint8_t, 10> EncryptionFiller()
{
    std::array<uint8_t, 10> f{};
    if (fillerSource()) {
        fillerSource()(f.data(), f.size());
        return f;
    }
    // The filler bytes only need to be unpredictable; the system's random source gives that.
    size_t filled = 0;
    while (filled < f.size()) {
        const ssize_t n = ::getrandom(f.data() + filled, f.size() - filled, 0);
        if (n <= 0)
            break;
        filled += size_t(n);
    }
    return f;
}

std::array<uint8_t, EncryptionHeaderSize> TZipCrypt::MakeHeader(const QByteArray& password, uint32_t crc)
{
    return MakeHeader(password, crc, EncryptionFiller());
}

std::array<uint8_t, EncryptionHeaderSize> TZipCrypt::MakeHeader(const QByteArray& password, uint32_t crc,
                                                                 const std::array<uint8_t, 10>& filler)
{
    std::array<uint8_t, EncryptionHeaderSize> h{};
    std::copy(filler.begin(), filler.end(), h.begin());
    h[10] = uint8_t(crc >> 16);
    h[11] = uint8_t(crc >> 24);
    init_keys(password);
    EncryptBuffer(h.data(), h.size());
    return h;
}

} // namespace archive
