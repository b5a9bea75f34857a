#pragma once
// The traditional zip encryption (three 32-bit keys, a 12-byte header before the data).
#include "archive/BufferStream.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>

namespace archive {

inline constexpr int EncryptionHeaderSize = 12;

// The password's bytes for writing: UTF-8, as the zip tools of Linux write them.
QByteArray PasswordBytes(const QString& password);

// The byte forms a typed password may have had where the archive was made, in the order they
// are tried when reading: UTF-8 (Linux tools), Windows-1251 (this program's earlier archives,
// Windows tools), OEM 866 (DOS tools). Forms that give the same bytes are listed once, so an
// ASCII password has exactly one.
QList<QByteArray> PasswordCandidates(const QString& password);

// The ten unpredictable filler bytes of an encryption header, from the system's random source.
std::array<uint8_t, 10> EncryptionFiller();
// Tests replace the source to get the same bytes in every run (an empty function restores it).
void SetEncryptionFillerSource(std::function<void(uint8_t* bytes, size_t count)> source);

class TZipCrypt {
public:
    uint32_t Keys[3] = {0x12345678u, 0x23456789u, 0x34567890u};

    void init_keys(const QByteArray& password);
    void init_keys(const QString& password) { init_keys(PasswordBytes(password)); }
    void update_keys(uint8_t c);
    uint8_t decrypt_byte() const
    {
        const uint16_t t = uint16_t((Keys[2] & 0xFFFF) | 2);
        return uint8_t((uint32_t(t) * (t ^ 1)) >> 8);
    }
    uint8_t EncryptByte(uint8_t plain)
    {
        const uint8_t t = decrypt_byte();
        update_keys(plain);
        return plain ^ t;
    }
    uint8_t DecryptByte(uint8_t cipher)
    {
        const uint8_t plain = cipher ^ decrypt_byte();
        update_keys(plain);
        return plain;
    }
    // In place; the keys run on across calls.
    void DecryptBuffer(void* buffer, size_t count);
    void EncryptBuffer(void* buffer, size_t count);

    // Reads the 12-byte header from stream, takes 12 off remainingCompressed (not below 0),
    // sets the keys from the password and returns the last decrypted byte (the check byte).
    // A header cut short raises EFatalUnzipError "Premature end of file reached".
    uint8_t DecryptHeader(const QByteArray& password, TStream& stream, int64_t& remainingCompressed);

    // The writing side: keys from the password, ten random bytes from the system's random
    // source (or the given filler) and the two check bytes (bits 16-23 and 24-31 of crc),
    // all encrypted.
    std::array<uint8_t, EncryptionHeaderSize> MakeHeader(const QByteArray& password, uint32_t crc);
    std::array<uint8_t, EncryptionHeaderSize> MakeHeader(const QByteArray& password, uint32_t crc,
                                                         const std::array<uint8_t, 10>& filler);

    // The check byte a member's header must decrypt to: high byte of the DOS time with a data
    // descriptor (flag bit 3), else the high byte of the CRC-32.
    static uint8_t CheckByte(uint16_t flags, uint32_t crc, uint32_t dosDateTime)
    {
        return (flags & 0x0008) ? uint8_t((dosDateTime >> 8) & 0xFF) : uint8_t(crc >> 24);
    }
};

} // namespace archive
