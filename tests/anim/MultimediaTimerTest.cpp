#include "anim/MultimediaTimer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

namespace {

struct Recorder : IMMTimerEventHandler {
    std::vector<UINT>* calls;
    MMTimerRegistration record;
    bool unregisterOnCall = false;
    explicit Recorder(std::vector<UINT>* log) : calls(log) { record.handler = this; }
    void OnMMTimer(UINT id) override {
        calls->push_back(id);
        if (unregisterOnCall) {
            UnregisterMMTimerRecord(record);
        }
    }
};

// One timer object per process: every case works on its own records and ids.
class MultimediaTimerTest : public ::testing::Test {
protected:
    CMultimediaTimer* timer_ = CMultimediaTimer::GetInstance();
    std::vector<UINT> calls_;
};

TEST_F(MultimediaTimerTest, IdsGrowAndAreNeverReused) {
    Recorder a(&calls_), b(&calls_);
    timer_->RegisterMMTimerHandler(a.record);
    timer_->RegisterMMTimerHandler(b.record);
    EXPECT_EQ(b.record.id, a.record.id + 1);
    const UINT old = a.record.id;
    timer_->RegisterMMTimerHandler(a.record);  // a registered record gets a new id
    EXPECT_GT(a.record.id, b.record.id);
    timer_->Dispatch(15);
    EXPECT_EQ(calls_, (std::vector<UINT>{b.record.id, a.record.id}))
        << "ascending ids, the old one is gone";
    timer_->UnregisterMMTimerHandler(old);  // not in the table: no effect
    a.record.handler = nullptr;
    timer_->RegisterMMTimerHandler(a.record);
    EXPECT_EQ(a.record.id, 0u) << "a null handler only removes the old entry";
    UnregisterMMTimerRecord(b.record);
    EXPECT_EQ(b.record.id, 0u);
}

TEST_F(MultimediaTimerTest, EachHandlerIsServedEvery15Milliseconds) {
    Recorder a(&calls_);
    timer_->RegisterMMTimerHandler(a.record);
    const UINT steps[] = {5, 5, 5, 5, 5, 5, 40, 5};
    std::vector<size_t> after;
    for (UINT e : steps) {
        timer_->Dispatch(e);
        after.push_back(calls_.size());
    }
    // Every third 5 ms tick; 40 ms calls once and restarts the countdown at 15.
    EXPECT_EQ(after, (std::vector<size_t>{0, 0, 1, 1, 1, 2, 3, 3}));
    UnregisterMMTimerRecord(a.record);
}

TEST_F(MultimediaTimerTest, AHandlerRemovingItselfDuringAPassGetsNoFurtherCall) {
    Recorder self(&calls_), other(&calls_);
    self.unregisterOnCall = true;
    timer_->RegisterMMTimerHandler(self.record);
    timer_->RegisterMMTimerHandler(other.record);
    const UINT otherId = other.record.id;
    timer_->Dispatch(15);
    timer_->Dispatch(15);
    EXPECT_EQ(calls_.size(), 3u);
    EXPECT_EQ(std::count(calls_.begin(), calls_.end(), otherId), 2);
    EXPECT_EQ(self.record.id, 0u);
    UnregisterMMTimerRecord(other.record);
}

TEST_F(MultimediaTimerTest, TicksReachTheMainThreadThroughItsMessageLoop) {
    Recorder a(&calls_);
    timer_->RegisterMMTimerHandler(a.record);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    MSG msg;
    while (calls_.size() < 3 && std::chrono::steady_clock::now() < deadline) {
        if (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageW(&msg);
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    UnregisterMMTimerRecord(a.record);
    EXPECT_GE(calls_.size(), 3u);
}

}  // namespace
