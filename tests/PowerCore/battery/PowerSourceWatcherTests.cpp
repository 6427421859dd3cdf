#include <PowerCore/battery/PowerSourceWatcher.hpp>
#include <gtest/gtest.h>
#include <map>

namespace {

using namespace PowerCore;

// Hands out subscriptions and fires them on demand, counting how many are alive.
class FakeNotifications final : public PowerNotifications {
public:
    std::unique_ptr<Subscription> subscribe(Kind kind, std::function<void()> handler) override {
        const int id = nextId_++;
        handlers_[id] = {kind, std::move(handler)};
        return std::make_unique<Token>(this, id);
    }
    void fire(Kind kind) {
        auto copy = handlers_;
        for (auto& [id, entry] : copy)
            if (entry.first == kind) entry.second();
    }
    size_t alive(Kind kind) const {
        size_t n = 0;
        for (const auto& [id, entry] : handlers_)
            n += entry.first == kind;
        return n;
    }

private:
    struct Token final : Subscription {
        Token(FakeNotifications* owner, int id)
            : owner_(owner)
            , id_(id) {}
        ~Token() override { owner_->handlers_.erase(id_); }
        FakeNotifications* owner_;
        int id_;
    };
    std::map<int, std::pair<Kind, std::function<void()>>> handlers_;
    int nextId_ = 0;
};

struct WatcherTest : testing::Test {
    std::shared_ptr<FakeNotifications> notifications = std::make_shared<FakeNotifications>();
    PowerSource current = PowerSource::ac;
    int providingReads = 0, sourceChanges = 0, anyChanges = 0;
    PowerSourceWatcher watcher{[this] {
                                   ++providingReads;
                                   return current;
                               },
                               [this] { ++sourceChanges; }, [this] { ++anyChanges; },
                               notifications};
};

TEST_F(WatcherTest, LearnsTheSourceAtConstruction) {
    EXPECT_EQ(providingReads, 1);
    EXPECT_EQ(watcher.providing(), PowerSource::ac);
}

TEST_F(WatcherTest, StartingTwiceKeepsOneSubscriptionOfEachKind) {
    watcher.start();
    watcher.start();
    EXPECT_EQ(notifications->alive(PowerNotifications::Kind::limited), 1u);
    EXPECT_EQ(notifications->alive(PowerNotifications::Kind::anyChange), 1u);
    notifications->fire(PowerNotifications::Kind::anyChange);
    EXPECT_EQ(anyChanges, 1);
}

TEST_F(WatcherTest, UnchangedSourceCallsNothing) {
    watcher.start();
    notifications->fire(PowerNotifications::Kind::limited);
    EXPECT_EQ(sourceChanges, 0);
    EXPECT_EQ(anyChanges, 0);
}

TEST_F(WatcherTest, ChangeCallsOnSourceChangeOnceAndAnyChangeEveryTime) {
    watcher.start();
    current = PowerSource::battery;
    for (int i = 0; i < 3; ++i) {
        notifications->fire(PowerNotifications::Kind::limited);
        notifications->fire(PowerNotifications::Kind::anyChange);
    }
    EXPECT_EQ(sourceChanges, 1);
    EXPECT_EQ(anyChanges, 3);
    EXPECT_EQ(watcher.providing(), PowerSource::battery);
}

TEST_F(WatcherTest, StopUnsubscribesAndCheckForChangeStillWorks) {
    watcher.start();
    watcher.stop();
    EXPECT_EQ(notifications->alive(PowerNotifications::Kind::limited), 0u);
    EXPECT_EQ(notifications->alive(PowerNotifications::Kind::anyChange), 0u);
    current = PowerSource::ups;
    notifications->fire(PowerNotifications::Kind::limited);
    EXPECT_EQ(sourceChanges, 0);
    watcher.checkForChange();
    EXPECT_EQ(sourceChanges, 1);
    watcher.start(); // and it can start again
    EXPECT_EQ(notifications->alive(PowerNotifications::Kind::limited), 1u);
}

TEST(Watcher, DestroyingItUnsubscribes) {
    auto notifications = std::make_shared<FakeNotifications>();
    {
        PowerSourceWatcher watcher([] { return PowerSource::ac; }, [] {}, [] {}, notifications);
        watcher.start();
        EXPECT_EQ(notifications->alive(PowerNotifications::Kind::anyChange), 1u);
    }
    EXPECT_EQ(notifications->alive(PowerNotifications::Kind::anyChange), 0u);
}

} // namespace
