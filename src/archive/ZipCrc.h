#pragma once
// CRC-32 of the zip format (reflected polynomial 0xEDB88320), shared by reading, writing and
// the traditional encryption.
#include <array>
#include <cstddef>
#include <cstdint>

namespace archive {

namespace detail {
constexpr std::array<uint32_t, 256> makeCrcTable()
{
    std::array<uint32_t, 256> t{};
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        t[n] = c;
    }
    return t;
}
} // namespace detail

// The standard table of the zip CRC-32.
inline constexpr std::array<uint32_t, 256> CRCTable = detail::makeCrcTable();

// One byte through a raw CRC register (no pre- or post-conditioning): the key schedule of
// the encryption depends on exactly this step.
inline uint32_t CRC32Step(uint8_t byte, uint32_t crc)
{
    return CRCTable[(crc ^ byte) & 0xFF] ^ (crc >> 8);
}

// Runs len bytes through a raw register (fast path); returns the new register.
uint32_t UpdateCrcRegister(uint32_t reg, const void* data, size_t len);

// The finished CRC-32 convention of zlib: start with 0, pass the previous result to chain.
// UpdateCrc32(0, "abc", 3) == 0x352441C2; UpdateCrc32(x, p, 0) == x.
uint32_t UpdateCrc32(uint32_t crc, const void* data, size_t len);

// The running CRC register of one member: starts at 0xFFFFFFFF, every block goes through
// UpdateCRC, the member's CRC-32 is the complement at the end.
struct TCrcRegister {
    uint32_t Register = 0xFFFFFFFFu;
    void Start() { Register = 0xFFFFFFFFu; }
    void UpdateCRC(const void* buffer, size_t count) { Register = UpdateCrcRegister(Register, buffer, count); }
    uint32_t Crc() const { return ~Register; }
};

} // namespace archive
