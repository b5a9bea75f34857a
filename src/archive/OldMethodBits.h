#pragma once
// The bit input of the older methods' decoders: bits of the member's data, least
// significant first, taken in whole bytes from the run's input buffer.
#include "archive/UnzipIO.h"

#include <algorithm>
#include <cstdint>

namespace archive {

class TOldBitInput {
public:
    // `slack`: bytes past the member's end that read as zeros before the input counts as
    // exhausted (a code table may look a few bits further than the last code needs).
    TOldBitInput(TUnzipIO& io, unsigned slack) : io_(io), slack_(slack) {}

    // Makes n (at most 32) bits available; false when the data (and the slack) ended first.
    bool Need(unsigned n)
    {
        return count_ >= n || fill(n);
    }
    unsigned Peek(unsigned n) const { return unsigned(buf_ & ((uint64_t(1) << n) - 1)); }
    void Drop(unsigned n)
    {
        buf_ >>= n;
        count_ -= n;
    }
    unsigned Get(unsigned n)
    {
        const unsigned v = Peek(n);
        Drop(n);
        return v;
    }

private:
    bool fill(unsigned n)
    {
        while (count_ < n) {
            size_t avail = io_.InputAvailable();
            if (avail == 0 && !io_.RefillInput()) {
                if (padded_ >= slack_)
                    return false;
                ++padded_;
                count_ += 8; // a zero byte
                continue;
            }
            avail = io_.InputAvailable();
            const uint8_t* p = io_.InputData();
            const size_t take = std::min<size_t>(avail, (64 - count_) / 8);
            for (size_t i = 0; i < take; ++i) {
                buf_ |= uint64_t(p[i]) << count_;
                count_ += 8;
            }
            io_.ConsumeInput(take);
        }
        return true;
    }

    TUnzipIO& io_;
    uint64_t buf_ = 0;
    unsigned count_ = 0;
    unsigned slack_;
    unsigned padded_ = 0;
};

} // namespace archive
