#include "archive/OldMethodBits.h"
#include "archive/OldMethods.h"

#include <cstring>

namespace archive {

namespace {
constexpr unsigned FirstCodeSize = 9;
constexpr unsigned MaxCodeSize = 13;
constexpr unsigned TableSize = 8193; // codes 0..8192
constexpr unsigned MaxCode = 8192;   // the first code past the table
constexpr unsigned StackSize = 8192;
constexpr unsigned ControlCode = 256;
constexpr unsigned FirstFreeCode = 257;
constexpr uint16_t FreeCode = 0xFFFF;
static_assert(TableSize * 2 + TableSize + StackSize <= TUnzipIO::WindowBufferSize);

// The decoder's tables in the run's window buffer: prefixes, suffixes, then the decode stack.
struct TShrinkTables {
    uint16_t* prefix;
    uint8_t* suffix;
    uint8_t* stack;
    unsigned nextFree = FirstFreeCode;

    explicit TShrinkTables(uint8_t* window)
        : prefix(reinterpret_cast<uint16_t*>(window)),
          suffix(window + 2 * TableSize),
          stack(window + 3 * TableSize)
    {
        for (unsigned c = 0; c < 256; ++c) {
            prefix[c] = 0;
            suffix[c] = uint8_t(c);
        }
        for (unsigned c = 256; c < TableSize; ++c) {
            prefix[c] = FreeCode;
            suffix[c] = 0;
        }
    }

    bool isFree(unsigned code) const { return prefix[code] == FreeCode; }

    void advanceNextFree()
    {
        while (nextFree < MaxCode && !isFree(nextFree))
            ++nextFree;
    }

    // Frees every code below the next free one that is no other code's prefix; the next free
    // code becomes the lowest free one. A code still in use keeps its prefix, wherever it is.
    void partialClear()
    {
        // The decode stack is empty between codes: it holds the marks, a bit per code.
        uint8_t* isPrefix = stack;
        std::memset(isPrefix, 0, MaxCode / 8);
        for (unsigned c = FirstFreeCode; c < MaxCode; ++c)
            if (!isFree(c))
                isPrefix[prefix[c] >> 3] |= uint8_t(1u << (prefix[c] & 7));
        // Codes from the next free one on stay: the table is cleared up to where it is filled.
        for (unsigned c = FirstFreeCode; c < nextFree; ++c)
            if (!(isPrefix[c >> 3] & (1u << (c & 7))))
                prefix[c] = FreeCode;
        nextFree = FirstFreeCode;
        advanceNextFree();
    }
};
} // namespace

void UnShrink(TUnzipIO& io)
{
    TShrinkTables t(io.Window());
    TOldBitInput in(io, 0);
    unsigned codeSize = FirstCodeSize;

    if (in.Need(codeSize)) {
        unsigned prev = in.Get(codeSize);
        // A valid stream starts with a byte; anything else is damage.
        if (prev < 256) {
            uint8_t lastChar = uint8_t(prev);
            io.PutByte(lastChar);
            uint8_t* const stackEnd = t.stack + StackSize;
            for (;;) {
                if (!in.Need(codeSize))
                    break;
                unsigned code = in.Get(codeSize);
                bool ok = true;
                while (code == ControlCode) {
                    if (!in.Need(codeSize)) {
                        ok = false;
                        break;
                    }
                    const unsigned sub = in.Get(codeSize);
                    if (sub == 1) {
                        // Sizes above 13 come only from damage and would index past the table.
                        if (++codeSize > MaxCodeSize) {
                            ok = false;
                            break;
                        }
                    } else if (sub == 2) {
                        t.partialClear();
                    }
                    if (!in.Need(codeSize)) {
                        ok = false;
                        break;
                    }
                    code = in.Get(codeSize);
                }
                if (!ok)
                    break;

                // Walk the chain onto the stack, last byte first.
                uint8_t* sp = stackEnd;
                unsigned c = code;
                if (t.isFree(c)) {
                    // The code being defined by this very use: the previous string and its
                    // first byte.
                    *--sp = lastChar;
                    c = prev;
                }
                while (c > ControlCode && sp > t.stack) {
                    if (t.isFree(c)) {
                        ok = false; // a chain through a freed code: damaged data
                        break;
                    }
                    *--sp = t.suffix[c];
                    c = t.prefix[c];
                }
                // A chain longer than the stack can only loop; 256 is no byte.
                if (!ok || c >= ControlCode || sp == t.stack)
                    break;
                lastChar = uint8_t(c);
                *--sp = lastChar;
                for (; sp < stackEnd; ++sp)
                    io.PutByte(*sp);

                if (t.nextFree < MaxCode) {
                    t.prefix[t.nextFree] = uint16_t(prev);
                    t.suffix[t.nextFree] = lastChar;
                    ++t.nextFree;
                    t.advanceNextFree();
                }
                prev = code;
            }
        }
    }
    io.FlushOutput();
}

} // namespace archive
