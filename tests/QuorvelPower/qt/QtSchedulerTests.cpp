#include "DesktopBus.hpp"
#include "QuorvelPower/QtApplication.hpp"

#include <QCoreApplication>
#include <QuorvelPower/qt/QtScheduler.hpp>
#include <gtest/gtest.h>
#include <stdexcept>
#include <thread>

using namespace QuorvelPower;

namespace {

QApplication& application() {
    return VuzurTests::qtApplication();
}

bool runUntil(const std::function<bool()>& condition) {
    return VuzurTests::eventually(
        [&] {
            QCoreApplication::processEvents();
            return condition();
        },
        5);
}

} // namespace

TEST(QtScheduler, ACancelledTimerNeverFiresEvenWhenDue) {
    application();
    QtScheduler scheduler;
    int fired = 0, later = 0;
    auto due = scheduler.after(std::chrono::milliseconds(0), [&] { ++fired; });
    auto control = scheduler.after(std::chrono::milliseconds(20), [&] { ++later; });
    std::this_thread::sleep_for(std::chrono::milliseconds(30)); // both are due now
    due->cancel();
    ASSERT_TRUE(runUntil([&] { return later == 1; }));
    EXPECT_EQ(fired, 0);
}

TEST(QtScheduler, WorkThatThrowsStillHandsBack) {
    application();
    QtScheduler scheduler;
    bool back = false;
    scheduler.background([] { throw std::runtime_error("a reader failed"); }, [&] { back = true; });
    EXPECT_TRUE(runUntil([&] { return back; }));
}
