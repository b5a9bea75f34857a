// Work done ahead on worker threads: results taken in list order, memory within the byte
// budget, large items late in the list started early, items left to the caller's thread.
#include "archive/WorkAhead.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <thread>
#include <vector>

using namespace archive;

namespace {

struct Item {
    int index = 0;
    int result = 0;
};

// Starts, in the order the workers started the items, and the largest sum of bytes started
// and not yet released by the caller's thread.
struct Log {
    std::mutex m;
    std::vector<int> starts;
    int64_t inFlight = 0;
    int64_t mostInFlight = 0;
};

std::vector<Item> items(int n)
{
    std::vector<Item> v(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i)
        v[size_t(i)].index = i;
    return v;
}

// The caller's side of a run: each item taken in turn (done here when no worker did it) and
// released; returns the results in list order.
std::vector<int> takeAll(TWorkAhead<Item>& work, int n, Log& log, const std::vector<int64_t>& bytes)
{
    std::vector<int> results;
    for (int i = 0; i < n; ++i) {
        Item* done = work.Take(i, [] {});
        results.push_back(done ? done->result : -i);
        {
            std::lock_guard<std::mutex> lock(log.m);
            if (done)
                log.inFlight -= bytes[size_t(i)];
        }
        work.Release(i, [](Item&) {});
    }
    return results;
}

} // namespace

TEST(WorkAhead, ResultsInListOrderWithinTheByteBudget)
{
    // Items of 60 MB (as the budget counts them): no more than four are held at once,
    // whatever the look-ahead and however many workers wait.
    const int n = 16;
    const std::vector<int64_t> bytes(size_t(n), int64_t(60) << 20);
    Log log;
    std::vector<int> results;
    {
        TWorkAhead<Item> work(
            items(n), bytes, std::vector<bool>(size_t(n), true), 8,
            [&](Item& item, int) {
                {
                    std::lock_guard<std::mutex> lock(log.m);
                    log.starts.push_back(item.index);
                    log.inFlight += bytes[size_t(item.index)];
                    log.mostInFlight = std::max(log.mostInFlight, log.inFlight);
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
                item.result = item.index * 10;
                return true;
            },
            64);
        results = takeAll(work, n, log, bytes);
    }
    for (int i = 0; i < n; ++i)
        EXPECT_EQ(results[size_t(i)], i * 10);
    EXPECT_LE(log.mostInFlight, TWorkAhead<Item>::BudgetBytes);
    EXPECT_EQ(log.starts.size(), size_t(n));
}

TEST(WorkAhead, ALargeItemLateInTheListStartsBeforeTheSmallOnesInFrontOfIt)
{
    const int n = 40;
    std::vector<int64_t> bytes(size_t(n), 1000);
    bytes[35] = 2 << 20;
    Log log;
    std::vector<int> results;
    {
        TWorkAhead<Item> work(
            items(n), bytes, std::vector<bool>(size_t(n), true), 2,
            [&](Item& item, int) {
                {
                    std::lock_guard<std::mutex> lock(log.m);
                    log.starts.push_back(item.index);
                }
                // The first item lasts until the other worker has started one.
                for (int wait = 0; item.index == 0 && wait < 2000; ++wait) {
                    {
                        std::lock_guard<std::mutex> lock(log.m);
                        if (log.starts.size() > 1)
                            break;
                    }
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                }
                item.result = item.index + 1;
                return true;
            },
            1024, 1 << 20);
        results = takeAll(work, n, log, bytes);
    }
    for (int i = 0; i < n; ++i)
        EXPECT_EQ(results[size_t(i)], i + 1);
    // The first item goes first (the caller's thread is at it), the large one beside it.
    ASSERT_GE(log.starts.size(), 2u);
    EXPECT_EQ(std::min(log.starts[0], log.starts[1]), 0);
    EXPECT_EQ(std::max(log.starts[0], log.starts[1]), 35);
}

TEST(WorkAhead, ItemsOverTheSizeLimitOrNotWantedAreLeftToTheCallersThread)
{
    const int n = 6;
    std::vector<int64_t> bytes(size_t(n), 10);
    bytes[2] = TWorkAhead<Item>::MaxItemBytes + 1;
    std::vector<bool> wanted(size_t(n), true);
    wanted[4] = false;
    Log log;
    std::vector<int> results;
    {
        TWorkAhead<Item> work(
            items(n), bytes, wanted, 3,
            [&](Item& item, int) {
                item.result = item.index + 100;
                return item.index != 5; // a worker that gives up leaves the item too
            },
            8);
        results = takeAll(work, n, log, bytes);
    }
    EXPECT_EQ(results, (std::vector<int>{100, 101, -2, 103, -4, -5}));
}
