// Notifications against a fake notification server on a private session bus.
#include "DesktopBus.hpp"
#include "TestSupport.hpp"

#include <PowerCore/testing/ManualScheduler.hpp>
#include <QuorvelPower/linux/DesktopNotifier.hpp>
#include <gtest/gtest.h>
#include <sdbus-c++/sdbus-c++.h>

using namespace QuorvelPower;
using VuzurTests::FakeDesktop;

namespace {

constexpr const char* serverName = "org.freedesktop.Notifications";

class Notifications : public ::testing::Test {
protected:
    void SetUp() override {
        if (const auto why = FakeDesktop::unavailableReason(); !why.empty()) GTEST_SKIP() << why;
        desktop = std::make_unique<FakeDesktop>();
    }

    // Runs one operation through the scheduler's two halves; its answer, if any came.
    template <typename Operation> std::optional<bool> answer(Operation operation) {
        std::optional<bool> result;
        operation([&result](bool ok) { result = ok; });
        EXPECT_EQ(scheduler.runBackground(), 1);
        return result;
    }

    PowerCore::ManualClock clock{VuzurTests::at("2026-12-06T12:00:00Z")};
    PowerCore::ManualScheduler scheduler{clock};
    std::unique_ptr<FakeDesktop> desktop;
};

PowerCore::Alert alert(std::string body) {
    return {PowerCore::AlertKind::healthBelow, "battery", "Battery health is low", std::move(body)};
}

} // namespace

TEST_F(Notifications, PermissionFollowsWhetherAServerAnswers) {
    DesktopNotifier notifier(scheduler);
    EXPECT_EQ(answer([&](auto done) { notifier.requestPermission(done); }), false);
    EXPECT_EQ(answer([&](auto done) { notifier.post(alert("unseen"), done); }), false);

    desktop->start("notification_daemon", serverName, FakeDesktop::Bus::session);
    EXPECT_EQ(answer([&](auto done) { notifier.requestPermission(done); }), true);
}

TEST_F(Notifications, TwoAlertsOfOneKindGiveTwoNotifications) {
    desktop->start("notification_daemon", serverName, FakeDesktop::Bus::session);
    DesktopNotifier notifier(scheduler);
    EXPECT_EQ(answer([&](auto done) { notifier.post(alert("Health is 79 %."), done); }), true);
    EXPECT_EQ(answer([&](auto done) { notifier.post(alert("Health is 78 %."), done); }), true);

    using Call = sdbus::Struct<std::uint64_t, std::string, std::vector<sdbus::Variant>>;
    std::vector<Call> calls;
    sdbus::createProxy(desktop->connection(FakeDesktop::Bus::session), serverName,
                       "/org/freedesktop/Notifications")
        ->callMethod("GetCalls")
        .onInterface("org.freedesktop.DBus.Mock")
        .storeResultsTo(calls);
    std::vector<std::string> bodies;
    for (const auto& call : calls) {
        const auto& method = std::get<1>(call);
        const auto& args = std::get<2>(call);
        if (method != "Notify") continue;
        ASSERT_EQ(args.size(), 8u);
        EXPECT_EQ(args[0].template get<std::string>(), "Quorvel Vuzur");
        EXPECT_EQ(args[1].get<std::uint32_t>(), 0u) << "never replaces an earlier one";
        EXPECT_EQ(args[3].get<std::string>(), "Battery health is low");
        const auto hints = args[6].get<std::map<std::string, sdbus::Variant>>();
        ASSERT_TRUE(hints.contains("desktop-entry"));
        EXPECT_EQ(hints.at("desktop-entry").get<std::string>(), "com.quorvel.power");
        bodies.push_back(args[4].get<std::string>());
    }
    EXPECT_EQ(bodies, (std::vector<std::string>{"Health is 79 %.", "Health is 78 %."}));
}

TEST_F(Notifications, ServerThatNeverAnswersIsAFalseWithinTheBound) {
    desktop->start("silent_notifications.py", serverName, FakeDesktop::Bus::session);
    DesktopNotifier notifier(scheduler, std::chrono::milliseconds(300));
    const auto asked = std::chrono::steady_clock::now();
    EXPECT_EQ(answer([&](auto done) { notifier.post(alert("lost"), done); }), false);
    // Not a measurement: only that the bound, not the bus's 25 s default, ended the wait.
    EXPECT_LT(std::chrono::steady_clock::now() - asked, std::chrono::seconds(10));
}

TEST_F(Notifications, AServerThatReadsMarkupGetsNamesAsText) {
    for (const bool markup : {true, false}) {
        SCOPED_TRACE(markup ? "markup" : "plain");
        desktop.reset();
        desktop = std::make_unique<FakeDesktop>();
        desktop->start("notification_daemon", serverName, FakeDesktop::Bus::session,
                       markup ? R"({"capabilities": "body body-markup"})"
                              : R"({"capabilities": "body"})");
        DesktopNotifier notifier(scheduler);
        EXPECT_TRUE(answer([&](auto done) { notifier.post(alert("<b>vlc</b> & co"), done); }));
        using Call = sdbus::Struct<std::uint64_t, std::string, std::vector<sdbus::Variant>>;
        std::vector<Call> calls;
        sdbus::createProxy(desktop->connection(FakeDesktop::Bus::session), serverName,
                           "/org/freedesktop/Notifications")
            ->callMethod("GetCalls")
            .onInterface("org.freedesktop.DBus.Mock")
            .storeResultsTo(calls);
        std::string body;
        for (const auto& call : calls)
            if (std::get<1>(call) == "Notify") body = std::get<2>(call)[4].get<std::string>();
        EXPECT_EQ(body, markup ? "&lt;b&gt;vlc&lt;/b&gt; &amp; co" : "<b>vlc</b> & co");
    }
}
