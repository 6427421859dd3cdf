// The virtual time the model's tests will run on: if it fired timers out of order or late,
// those tests would pass or fail for the wrong reasons.
#include "TestSupport.hpp"

#include <PowerCore/testing/ManualScheduler.hpp>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using namespace PowerCore;
using namespace std::chrono_literals;

struct ManualSchedulerTest : testing::Test {
    ManualClock clock{VuzurTests::at("2026-03-14T09:00:00Z")};
    ManualScheduler scheduler{clock};
    std::vector<std::string> fired;

    auto record(std::string name) {
        return [this, name] {
            fired.push_back(name + "@" + std::to_string((clock.now() - start).count()));
        };
    }
    Timestamp start = clock.now();
};

// A span in the wall clock's ticks, as the records above print it.
std::string ticks(std::chrono::steady_clock::duration span) {
    return std::to_string(std::chrono::duration_cast<Timestamp::duration>(span).count());
}

TEST_F(ManualSchedulerTest, TimersFireInDeadlineOrderAtTheirOwnTime) {
    const auto late = scheduler.after(30s, record("late"));
    const auto early = scheduler.after(5s, record("early"));
    const auto tie = scheduler.after(5s, record("tie"));
    scheduler.advance(4s);
    EXPECT_TRUE(fired.empty());
    scheduler.advance(30s);
    EXPECT_EQ(fired, (std::vector<std::string>{"early@" + ticks(5s), "tie@" + ticks(5s),
                                               "late@" + ticks(30s)}));
    EXPECT_EQ(clock.now() - start, std::chrono::duration_cast<Timestamp::duration>(34s));
}

TEST_F(ManualSchedulerTest, CancelledAndDroppedHandlesNeverFire) {
    auto cancelled = scheduler.after(1s, record("cancelled"));
    cancelled->cancel();
    scheduler.after(1s, record("dropped")).reset();
    const auto kept = scheduler.after(1s, record("kept"));
    scheduler.advance(1s);
    ASSERT_EQ(fired.size(), 1u);
    EXPECT_EQ(fired[0].substr(0, 4), "kept");
    EXPECT_EQ(scheduler.pendingTimers(), 0u);
}

TEST_F(ManualSchedulerTest, ATimerSetByAFiringOneFiresWhenItFallsDue) {
    std::unique_ptr<Scheduler::Handle> next;
    const auto first = scheduler.after(5s, [&] { next = scheduler.after(3s, record("second")); });
    scheduler.advance(7s);
    EXPECT_TRUE(fired.empty());
    EXPECT_EQ(scheduler.nextDeadline(), 1s);
    scheduler.advance(1s);
    EXPECT_EQ(fired, (std::vector<std::string>{"second@" + ticks(8s)}));
}

TEST_F(ManualSchedulerTest, TimeNeverRunsBack) {
    // A timer that waits on virtual time itself, past the end of the outer advance.
    const auto waiting = scheduler.after(5s, [&] { scheduler.advance(10s); });
    scheduler.advance(9s);
    EXPECT_EQ(clock.now() - start, std::chrono::duration_cast<Timestamp::duration>(15s));
    const auto late = scheduler.after(5s, record("late"));
    clock.advance(20s); // moved by hand past the deadline
    scheduler.advance(-3s);
    EXPECT_EQ(fired, (std::vector<std::string>{"late@" + ticks(35s)}));
}

TEST_F(ManualSchedulerTest, BackgroundWorkWaitsForTheTestThenRunsItsContinuation) {
    std::vector<std::string> order;
    scheduler.background([&] { order.push_back("work"); },
                         [&] {
                             order.push_back("then");
                             // Queued from a continuation: waits for the next round.
                             scheduler.background([&] { order.push_back("again"); }, {});
                         });
    EXPECT_TRUE(order.empty());
    EXPECT_EQ(scheduler.runBackground(), 1);
    EXPECT_EQ(order, (std::vector<std::string>{"work", "then"}));
    EXPECT_EQ(scheduler.runBackground(), 1);
    EXPECT_EQ(order.back(), "again");
}

TEST_F(ManualSchedulerTest, HandlesOutliveTheScheduler) {
    auto other = std::make_unique<ManualScheduler>(clock);
    auto handle = other->after(1s, [] {});
    other.reset();
    handle->cancel(); // must not touch the destroyed scheduler
    handle.reset();
}

} // namespace
