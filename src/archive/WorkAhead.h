#pragma once
// Work done ahead on worker threads for a run that goes through a list in order on the
// caller's thread: zipping compresses the coming members, extraction decodes them. The
// caller's thread takes each item's result in list order (or does the item itself when no
// worker did it), so events and the archive stay as they are on one thread. Memory stays
// bounded: a number of items a worker ahead of the caller (two unless said otherwise), within
// a budget of bytes, and no item over a size limit.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace archive {

// Worker threads for a run: as many as the machine has cores unless `wanted` says otherwise.
inline int WorkerThreads(int wanted)
{
    return wanted > 0 ? wanted : int(std::max(1u, std::thread::hardware_concurrency()));
}

template <class TItem>
class TWorkAhead {
public:
    static constexpr int64_t MaxItemBytes = 64 << 20;
    static constexpr int64_t BudgetBytes = 256 << 20;

    // Work on one item on worker `worker` (0 .. threads-1); true when its result is to be
    // used. It may poll Stopping() and give up.
    using TWork = std::function<bool(TItem& item, int worker)>;

    // bytes(i): the memory the item will take, for the budget; items over MaxItemBytes and
    // those with wanted(i) false are left to the caller's thread. aheadPerThread: how many
    // items the workers may be ahead of the caller's thread, per worker (the budget bounds
    // them too). Items of at least startEarlyBytes (0: none) start before the smaller ones in
    // front of them within that look-ahead, so that a large item late in the list is not
    // the one everybody waits for at the end.
    TWorkAhead(std::vector<TItem> items, const std::vector<int64_t>& bytes, const std::vector<bool>& wanted,
               int threads, TWork work, int aheadPerThread = 2, int64_t startEarlyBytes = 0)
        : items_(std::move(items)), slots_(items_.size()), work_(std::move(work)), ahead_(threads * std::max(aheadPerThread, 1))
    {
        for (size_t i = 0; i < slots_.size(); ++i) {
            slots_[i].bytes = bytes[i];
            if (!wanted[i] || bytes[i] > MaxItemBytes)
                slots_[i].state = Left;
            else if (startEarlyBytes > 0 && bytes[i] >= startEarlyBytes)
                early_.push_back(int(i));
        }
        for (int w = 0; w < threads; ++w)
            workers_.emplace_back([this, w]() { run(w); });
    }

    ~TWorkAhead()
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        startable_.notify_all();
        for (std::thread& t : workers_)
            t.join();
    }

    TWorkAhead(const TWorkAhead&) = delete;
    TWorkAhead& operator=(const TWorkAhead&) = delete;

    bool Stopping() const { return stop_; }

    // The item as it was queued; its result fields only after Take returned it.
    TItem& Item(int index) { return items_[size_t(index)]; }

    // The item at index once a worker is done with it; `waiting` runs now and then meanwhile
    // (the caller's message loop and cancel check; what it raises passes through). Null when
    // no worker did it: the caller's thread does it itself.
    TItem* Take(int index, const std::function<void()>& waiting)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        if (consumed_ != index) {
            consumed_ = index;
            startable_.notify_one();
        }
        Slot& s = slots_[size_t(index)];
        while (s.state == Waiting || s.state == Working) {
            done_.wait_for(lock, std::chrono::milliseconds(20));
            lock.unlock();
            waiting();
            lock.lock();
        }
        return s.state == Done ? &items_[size_t(index)] : nullptr;
    }

    // The caller's thread is through with the item: its memory goes back to the budget.
    void Release(int index, const std::function<void(TItem&)>& drop)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        Slot& s = slots_[size_t(index)];
        done_.wait(lock, [&s]() { return s.state != Working; });
        if (s.state == Done || s.state == Failed)
            inFlight_ -= s.bytes;
        if (s.state == Done)
            drop(items_[size_t(index)]);
        s.state = Left;
        consumed_ = index + 1;
        // One more item may start now: one worker is enough to take it.
        startable_.notify_one();
    }

private:
    enum State { Waiting, Working, Done, Failed, Left };
    struct Slot {
        State state = Waiting;
        int64_t bytes = 0;
    };

    // Under the lock: whether the item at index may start now.
    bool startable(int index) const
    {
        const Slot& s = slots_[size_t(index)];
        return index == consumed_ || (index - consumed_ < ahead_ && inFlight_ + s.bytes <= BudgetBytes);
    }

    // Under the lock: the next item a worker may start, or -1 (end: -2).
    int nextStartable()
    {
        while (next_ < int(slots_.size()) && (slots_[size_t(next_)].state != Waiting || next_ < consumed_)) {
            if (slots_[size_t(next_)].state == Waiting)
                slots_[size_t(next_)].state = Left; // the caller's thread is past it
            ++next_;
        }
        if (next_ >= int(slots_.size()))
            return -2;
        if (next_ == consumed_)
            return next_; // the caller's thread is at it: it goes first
        while (earlyNext_ < early_.size()
               && (slots_[size_t(early_[earlyNext_])].state != Waiting || early_[earlyNext_] < consumed_))
            ++earlyNext_;
        if (earlyNext_ < early_.size() && startable(early_[earlyNext_]))
            return early_[earlyNext_];
        return startable(next_) ? next_ : -1;
    }

    void run(int worker)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        while (!stop_) {
            const int index = nextStartable();
            if (index == -2)
                return;
            if (index < 0) {
                startable_.wait(lock);
                continue;
            }
            if (index == next_)
                ++next_;
            Slot& s = slots_[size_t(index)];
            s.state = Working;
            inFlight_ += s.bytes;
            if (nextStartable() >= 0)
                startable_.notify_one(); // more work for another worker
            lock.unlock();
            bool ok = false;
            try {
                ok = work_(items_[size_t(index)], worker);
            } catch (...) {
                ok = false; // the caller's thread does it again and meets the error itself
            }
            lock.lock();
            s.state = ok ? Done : Failed;
            // Only the caller's thread waits for items to be done.
            done_.notify_one();
        }
    }

    std::vector<TItem> items_;
    std::vector<Slot> slots_;
    TWork work_;
    std::vector<std::thread> workers_;
    std::mutex mutex_;
    std::condition_variable startable_; // workers wait here for an item they may start
    std::condition_variable done_;      // the caller's thread waits here for its item
    std::atomic<bool> stop_{false};
    const int ahead_; // items the workers may be ahead of the caller's thread
    int next_ = 0;     // the next item a worker looks at
    std::vector<int> early_; // the items that start early, in list order
    size_t earlyNext_ = 0;   // the next of them a worker looks at
    int consumed_ = 0; // the item the caller's thread is at
    int64_t inFlight_ = 0;
};

} // namespace archive
