#include "archive/OldMethodBits.h"
#include "archive/OldMethods.h"

#include <algorithm>
#include <cstring>

namespace archive {

namespace {
constexpr size_t WindowSize = 16384;
constexpr size_t MaxFollowers = 64;
constexpr uint8_t Marker = 144;
// Bytes past the member's end read as zeros: a few, never more.
constexpr unsigned InputSlack = 4;
static_assert(WindowSize + 256 * MaxFollowers <= TUnzipIO::WindowBufferSize);

// Index bits for a follower set of n bytes.
unsigned followerBits(unsigned n)
{
    unsigned bits = 1;
    while ((1u << bits) < n)
        ++bits;
    return bits;
}
} // namespace

void UnReduce(TUnzipIO& io, int factor)
{
    if (factor < 1 || factor > 4) {
        io.FlushOutput();
        return;
    }
    static constexpr unsigned LengthMask[5] = {0, 127, 63, 31, 15};
    static constexpr unsigned DistShift[5] = {0, 7, 6, 5, 4};
    static constexpr unsigned DistMask[5] = {0, 1, 3, 7, 15};
    const unsigned lengthMask = LengthMask[factor];
    const unsigned distShift = DistShift[factor];
    const unsigned distMask = DistMask[factor];

    uint8_t* const window = io.Window();
    uint8_t* const followers = window + WindowSize;
    // Unread follower slots are zeros, never what an earlier member left there.
    std::memset(window, 0, WindowSize + 256 * MaxFollowers);
    uint8_t setLength[256];
    uint8_t setBits[256];
    TOldBitInput in(io, InputSlack);

    for (int x = 255; x >= 0; --x) {
        if (!in.Need(6)) {
            io.FlushOutput();
            return;
        }
        const unsigned n = in.Get(6);
        setLength[x] = uint8_t(n);
        setBits[x] = uint8_t(followerBits(n));
        for (unsigned j = 0; j < n; ++j) {
            if (!in.Need(8)) {
                io.FlushOutput();
                return;
            }
            followers[size_t(x) * MaxFollowers + j] = uint8_t(in.Get(8));
        }
    }

    size_t pos = 0;        // in the window
    uint64_t written = 0;  // bytes produced so far
    uint64_t left = io.UncompressedSize;
    auto flushWindow = [&]() {
        io.WriteOutput(window, pos);
        pos = 0;
    };
    auto put = [&](uint8_t c) {
        window[pos++] = c;
        ++written;
        if (pos == WindowSize)
            flushWindow();
    };

    uint8_t last = 0;
    int state = 0;
    unsigned v = 0;
    unsigned length = 0;
    while (left > 0) {
        // The next byte of the expansion's input, through the previous byte's follower set.
        const unsigned n = setLength[last];
        unsigned c;
        if (n == 0) {
            if (!in.Need(8))
                break;
            c = in.Get(8);
        } else {
            if (!in.Need(1 + 8))
                break;
            if (in.Get(1)) {
                c = in.Get(8);
            } else {
                const unsigned bits = setBits[last];
                if (!in.Need(bits))
                    break;
                c = followers[size_t(last) * MaxFollowers + in.Get(bits)];
            }
        }
        last = uint8_t(c);

        switch (state) {
        case 0:
            if (c != Marker) {
                put(uint8_t(c));
                --left;
            } else {
                state = 1;
            }
            break;
        case 1:
            if (c == 0) {
                put(Marker);
                --left;
                state = 0;
            } else {
                v = c;
                length = c & lengthMask;
                state = length == lengthMask ? 2 : 3;
            }
            break;
        case 2:
            length += c;
            state = 3;
            break;
        default: {
            const size_t dist = size_t((v >> distShift) & distMask) * 256 + c + 1;
            uint64_t count = std::min<uint64_t>(length + 3, left);
            left -= count;
            // Before the start of the output the copy reads zeros.
            for (; count > 0 && written < dist; --count)
                put(0);
            for (; count > 0; --count)
                put(window[(pos - dist) & (WindowSize - 1)]);
            state = 0;
            break;
        }
        }
    }
    flushWindow();
    io.FlushOutput();
}

} // namespace archive
