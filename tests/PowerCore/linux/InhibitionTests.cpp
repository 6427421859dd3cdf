// The keep-awake holder and the list of who keeps the machine awake, against fake GNOME,
// KDE, logind and screensaver services on private buses.
#include "DesktopBus.hpp"
#include "TestSupport.hpp"

#include <PowerCore/linux/DBusConnection.hpp>
#include <PowerCore/linux/LiveAssertionHolder.hpp>
#include <PowerCore/linux/LiveAssertionTable.hpp>
#include <algorithm>
#include <gtest/gtest.h>
#include <sdbus-c++/sdbus-c++.h>
#include <thread>
#include <unistd.h>

using namespace PowerCore;
using VuzurTests::eventually;
using VuzurTests::FakeDesktop;

namespace {

constexpr const char* gnomeName = "org.gnome.SessionManager";
constexpr const char* kdeName = "org.kde.Solid.PowerManagement.PolicyAgent";
constexpr const char* logindName = "org.freedesktop.login1";
constexpr const char* screenSaverName = "org.freedesktop.ScreenSaver";

DesiredAssertion wish(AssertionKind kind, std::string title, double timeout = 900) {
    return {kind, std::move(title), timeout};
}

// Hands the wish over and waits until the holder's thread acted on it.
void applyAndWait(LiveAssertionHolder& holder, const std::optional<DesiredAssertion>& desired) {
    holder.apply(desired);
    ASSERT_TRUE(holder.settle(std::chrono::seconds(10)));
}

class Inhibitions : public ::testing::Test {
protected:
    void SetUp() override {
        if (const auto why = FakeDesktop::unavailableReason(); !why.empty()) GTEST_SKIP() << why;
        desktop = std::make_unique<FakeDesktop>();
    }

    // Brings up the fakes of one desktop: the GNOME or KDE service, or logind with the
    // screensaver interface.
    void startDesktop(InhibitionService service) {
        switch (service) {
        case InhibitionService::gnomeSession:
            desktop->start("gnome_session_manager.py", gnomeName, FakeDesktop::Bus::session);
            break;
        case InhibitionService::kdePolicyAgent:
            desktop->start("kde_policy_agent.py", kdeName, FakeDesktop::Bus::session);
            break;
        case InhibitionService::logind:
            desktop->start("logind_inhibitors.py", logindName, FakeDesktop::Bus::system);
            desktop->start("screensaver.py", screenSaverName, FakeDesktop::Bus::session);
            break;
        case InhibitionService::none:
            break;
        }
    }

    // The list as the program sees it; `named` names this process as the process reader
    // would, else no process has a name and rows carry the names the services give.
    std::vector<AssertionRow> rows(const LiveAssertionTable::Own& own = {}, bool named = true) {
        return LiveAssertionTable(own).read(
            [named](std::int32_t pid) -> std::optional<std::string> {
                if (named && pid == ::getpid()) return "power_core_tests";
                return std::nullopt;
            },
            ::getpid());
    }

    // The methods a fake was called with, in order, among `methods`.
    std::vector<std::string> calls(const char* name, const char* path,
                                   const std::vector<std::string>& methods) {
        using Call = sdbus::Struct<std::uint64_t, std::string, std::vector<sdbus::Variant>>;
        std::vector<Call> all;
        sdbus::createProxy(desktop->connection(FakeDesktop::Bus::session), name, path)
            ->callMethod("GetCalls")
            .onInterface("org.freedesktop.DBus.Mock")
            .storeResultsTo(all);
        std::vector<std::string> seen;
        for (const auto& call : all)
            if (std::find(methods.begin(), methods.end(), std::get<1>(call)) != methods.end())
                seen.push_back(std::get<1>(call));
        return seen;
    }

    // What the screensaver interface holds: (app, reason) pairs.
    std::vector<sdbus::Struct<std::string, std::string>> screenSaverInhibitions() {
        std::vector<sdbus::Struct<std::string, std::string>> held;
        sdbus::createProxy(desktop->connection(FakeDesktop::Bus::session), screenSaverName,
                           "/org/freedesktop/ScreenSaver")
            ->callMethod("Inhibitions")
            .onInterface("org.freedesktop.DBus.Mock")
            .storeResultsTo(held);
        return held;
    }

    std::unique_ptr<FakeDesktop> desktop;
};

} // namespace

TEST_F(Inhibitions, HolderCreatesRefreshesReplacesAndReleasesOnEachService) {
    for (const auto service : {InhibitionService::gnomeSession, InhibitionService::kdePolicyAgent,
                               InhibitionService::logind}) {
        SCOPED_TRACE(std::string(describe(service)));
        desktop.reset(); // the fakes of one desktop at a time
        desktop = std::make_unique<FakeDesktop>();
        startDesktop(service);
        {
            LiveAssertionHolder holder;
            const auto own = [&holder] { return holder.own(); };

            applyAndWait(holder, wish(AssertionKind::system, "Build", 5000));
            ASSERT_TRUE(holder.own());
            EXPECT_EQ(holder.own()->service, service);
            EXPECT_EQ(holder.status().service, describe(service));
            ASSERT_TRUE(holder.current());
            EXPECT_EQ(holder.current()->timeout, 900); // never longer than the ceiling
            auto list = rows(own);
            ASSERT_EQ(list.size(), 1u);
            EXPECT_TRUE(list[0].isPower);
            EXPECT_EQ(list[0].pid, ::getpid());
            EXPECT_EQ(list[0].processName, "power_core_tests");
            EXPECT_EQ(list[0].type, "PreventUserIdleSystemSleep");
            EXPECT_EQ(list[0].name, "Quorvel Vuzur: Build");

            applyAndWait(holder, wish(AssertionKind::system, "Build", 0.2));
            EXPECT_EQ(holder.current()->timeout, 1);
            EXPECT_EQ(rows(own), list);

            applyAndWait(holder, wish(AssertionKind::display, "Build"));
            list = rows(own);
            // A refresh calls nothing; a replacement releases before it takes.
            if (service == InhibitionService::gnomeSession) {
                EXPECT_EQ(calls(gnomeName, "/org/gnome/SessionManager", {"Inhibit", "Uninhibit"}),
                          (std::vector<std::string>{"Inhibit", "Uninhibit", "Inhibit"}));
            }
            if (service == InhibitionService::kdePolicyAgent) {
                EXPECT_EQ(calls(kdeName, "/org/kde/Solid/PowerManagement/PolicyAgent",
                                {"AddInhibition", "ReleaseInhibition"}),
                          (std::vector<std::string>{"AddInhibition", "ReleaseInhibition",
                                                    "AddInhibition"}));
            }
            ASSERT_EQ(list.size(), 1u) << "the old inhibition is released before the new one";
            EXPECT_TRUE(list[0].isPower);
            EXPECT_EQ(list[0].type, "PreventUserIdleDisplaySleep");
            if (service == InhibitionService::logind) {
                EXPECT_EQ(screenSaverInhibitions().size(), 1u);
            }

            applyAndWait(holder, wish(AssertionKind::display, "Film"));
            list = rows(own);
            ASSERT_EQ(list.size(), 1u);
            EXPECT_EQ(list[0].name, "Quorvel Vuzur: Film");

            applyAndWait(holder, std::nullopt);
            applyAndWait(holder, std::nullopt);
            EXPECT_FALSE(holder.current());
            EXPECT_TRUE(rows(own).empty());
            if (service == InhibitionService::logind) {
                EXPECT_TRUE(screenSaverInhibitions().empty());
            }

            applyAndWait(holder, wish(AssertionKind::display, "Left held at the end"));
            ASSERT_EQ(rows().size(), 1u);
        }
        EXPECT_TRUE(eventually([&] { return rows().empty(); })) << "destruction releases";
        if (service == InhibitionService::logind) {
            EXPECT_TRUE(screenSaverInhibitions().empty());
        }
    }
}

TEST_F(Inhibitions, WithoutAnyServiceNothingIsHeldAndTheHolderSaysWhy) {
    LiveAssertionHolder holder;
    applyAndWait(holder, wish(AssertionKind::display, "Nowhere"));
    EXPECT_FALSE(holder.current());
    EXPECT_TRUE(rows().empty());
    EXPECT_EQ(holder.status().failure, HoldFailure::noService);
    EXPECT_TRUE(holder.status().notHeld());
    // A service that comes later is used without another wish.
    startDesktop(InhibitionService::kdePolicyAgent);
    EXPECT_TRUE(eventually([&] { return holder.status().held; }, 3));
    EXPECT_EQ(rows().size(), 1u);
}

TEST_F(Inhibitions, DeadlineThreadReleasesWhenNoRefreshComes) {
    startDesktop(InhibitionService::gnomeSession);
    LiveAssertionHolder holder;
    applyAndWait(holder, wish(AssertionKind::system, "Frozen", 1));
    // Refreshes push the deadline back.
    for (int i = 0; i < 3; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(600));
        applyAndWait(holder, wish(AssertionKind::system, "Frozen", 1));
        ASSERT_TRUE(holder.own()) << "released although refreshed";
    }
    ASSERT_EQ(rows().size(), 1u);
    // The main thread does nothing more, as a hung one would.
    EXPECT_TRUE(eventually([&] { return rows().empty(); }, 5));
    EXPECT_FALSE(holder.own());
    EXPECT_FALSE(holder.status().notHeld()) << "let go on purpose, not refused";
    // The next evaluation takes it anew.
    applyAndWait(holder, wish(AssertionKind::system, "Frozen", 1));
    EXPECT_EQ(rows().size(), 1u);
}

TEST_F(Inhibitions, KilledHolderLeavesNothingBehind) {
    for (const auto service : {InhibitionService::gnomeSession, InhibitionService::logind}) {
        SCOPED_TRACE(std::string(describe(service)));
        desktop.reset();
        desktop = std::make_unique<FakeDesktop>();
        startDesktop(service);
        const int child = VuzurTests::spawnAndWaitForExec({VUZUR_INHIBIT_CHILD});
        ASSERT_GT(child, 0);
        ASSERT_TRUE(eventually([&] { return rows().size() == 1; }));
        if (service == InhibitionService::logind) {
            EXPECT_EQ(screenSaverInhibitions().size(), 1u);
        }
        VuzurTests::killAndReap(child); // SIGKILL: no destructor runs
        EXPECT_TRUE(eventually([&] { return rows().empty(); }));
        if (service == InhibitionService::logind) {
            EXPECT_TRUE(screenSaverInhibitions().empty());
        }
    }
}

TEST_F(Inhibitions, ListGathersEveryServiceOwnRowFirst) {
    startDesktop(InhibitionService::gnomeSession);
    startDesktop(InhibitionService::kdePolicyAgent);
    startDesktop(InhibitionService::logind);
    auto& session = desktop->connection(FakeDesktop::Bus::session);
    auto& system = desktop->connection(FakeDesktop::Bus::system);

    LiveAssertionHolder holder; // GNOME's is found first
    applyAndWait(holder, wish(AssertionKind::display, "Film"));
    ASSERT_EQ(holder.own()->service, InhibitionService::gnomeSession);

    // Other programs' inhibitions, taken on the test's own connections.
    std::uint32_t cookie = 0;
    sdbus::createProxy(session, gnomeName, "/org/gnome/SessionManager")
        ->callMethod("Inhibit")
        .onInterface(gnomeName)
        .withArguments(std::string("org.gnome.Totem"), std::uint32_t{0},
                       std::string("Playing a film"), std::uint32_t{8})
        .storeResultsTo(cookie);
    sdbus::createProxy(session, kdeName, "/org/kde/Solid/PowerManagement/PolicyAgent")
        ->callMethod("AddInhibition")
        .onInterface(kdeName)
        .withArguments(std::uint32_t{1}, std::string("okular"), std::string("Presenting"))
        .storeResultsTo(cookie);
    sdbus::UnixFd delay, block;
    const auto logind = sdbus::createProxy(system, logindName, "/org/freedesktop/login1");
    logind->callMethod("Inhibit")
        .onInterface("org.freedesktop.login1.Manager")
        .withArguments(std::string("sleep"), std::string("backup"), std::string("Saving"),
                       std::string("delay"))
        .storeResultsTo(delay);
    logind->callMethod("Inhibit")
        .onInterface("org.freedesktop.login1.Manager")
        .withArguments(std::string("idle:sleep"), std::string("player"), std::string("Music"),
                       std::string("block"))
        .storeResultsTo(block);

    const auto list = rows([&holder] { return holder.own(); }, false);
    std::vector<std::string> seen;
    for (const auto& row : list)
        seen.push_back(row.processName + "|" + row.type + "|" + row.name + "|" +
                       (row.keepsAwake() ? "awake" : "not counted"));
    EXPECT_EQ(seen, (std::vector<std::string>{
                        "Quorvel Vuzur|PreventUserIdleDisplaySleep|Quorvel Vuzur: Film|awake",
                        "backup|sleep (delay)|Saving|not counted",
                        "okular|PreventUserIdleSystemSleep|Presenting|awake",
                        "org.gnome.Totem|PreventUserIdleDisplaySleep|Playing a film|awake",
                        "player|PreventSystemSleep|Music|awake",
                        // GNOME runs here, and never asks logind about idle.
                        "player|idle (GNOME ignores it)|Music|not counted",
                    }));
    EXPECT_TRUE(list[0].isPower);
    EXPECT_EQ(std::count_if(list.begin(), list.end(), [](const auto& r) { return r.isPower; }), 1);
}

TEST_F(Inhibitions, ServiceThatVanishesMidReadLeavesTheOthers) {
    desktop->start("gnome_session_manager.py", gnomeName, FakeDesktop::Bus::session,
                   R"({"vanish_on_read": true})");
    startDesktop(InhibitionService::kdePolicyAgent);
    auto& session = desktop->connection(FakeDesktop::Bus::session);
    std::uint32_t cookie = 0;
    sdbus::createProxy(session, gnomeName, "/org/gnome/SessionManager")
        ->callMethod("Inhibit")
        .onInterface(gnomeName)
        .withArguments(std::string("org.gnome.Totem"), std::uint32_t{0}, std::string("Film"),
                       std::uint32_t{8})
        .storeResultsTo(cookie);
    sdbus::createProxy(session, kdeName, "/org/kde/Solid/PowerManagement/PolicyAgent")
        ->callMethod("AddInhibition")
        .onInterface(kdeName)
        .withArguments(std::uint32_t{5}, std::string("vlc"), std::string("Video"))
        .storeResultsTo(cookie);

    const auto list = rows();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].processName, "vlc");
    EXPECT_EQ(list[0].type, "PreventUserIdleDisplaySleep");
    EXPECT_FALSE(desktop->nameHasOwner(FakeDesktop::Bus::session, gnomeName));
}

TEST_F(Inhibitions, AServiceThatRestartsIsAskedAgain) {
    startDesktop(InhibitionService::logind);
    LiveAssertionHolder holder;
    int heard = 0;
    holder.onStatusChange([&heard] { ++heard; });
    applyAndWait(holder, wish(AssertionKind::system, "Backup"));
    ASSERT_EQ(rows().size(), 1u);
    const int before = heard;

    // logind goes, and our lock with it; nothing else takes inhibitions meanwhile.
    desktop->stop(logindName);
    EXPECT_TRUE(eventually([&] { return holder.status().notHeld(); }, 3));
    EXPECT_EQ(holder.status().failure, HoldFailure::noService);
    EXPECT_GT(heard, before) << "the change is told without a new wish";

    desktop->start("logind_inhibitors.py", logindName, FakeDesktop::Bus::system);
    EXPECT_TRUE(eventually([&] { return rows().size() == 1; }, 3));
    EXPECT_TRUE(holder.status().held);
}

TEST_F(Inhibitions, ABetterServiceThatAppearsLaterTakesTheHoldNewBeforeOld) {
    startDesktop(InhibitionService::logind);
    LiveAssertionHolder holder;
    applyAndWait(holder, wish(AssertionKind::system, "Render"));
    ASSERT_EQ(holder.own()->service, InhibitionService::logind);

    // GNOME ignores logind's idle locks: once its manager is up, the hold moves there.
    desktop->start("gnome_session_manager.py", gnomeName, FakeDesktop::Bus::session);
    ASSERT_TRUE(eventually(
        [&] { return holder.own() && holder.own()->service == InhibitionService::gnomeSession; },
        3));
    const auto list = rows([&holder] { return holder.own(); });
    ASSERT_EQ(list.size(), 1u) << "the logind lock is let go once GNOME holds";
    EXPECT_TRUE(list[0].isPower);
}

TEST_F(Inhibitions, AMoveThatFailsKeepsWhatIsHeldButBesideGnomeALogindLockIsNoHold) {
    startDesktop(InhibitionService::logind);
    LiveAssertionHolder holder;
    applyAndWait(holder, wish(AssertionKind::system, "Render"));
    // A GNOME manager that comes up too busy to answer.
    desktop->start("gnome_session_manager.py", gnomeName, FakeDesktop::Bus::session,
                   R"({"stall": 3})");
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    applyAndWait(holder, wish(AssertionKind::system, "Render"));
    // The logind lock stays (GNOME may go again), and is not called a hold: GNOME ignores it.
    const auto locks = rows();
    EXPECT_EQ(std::count_if(locks.begin(), locks.end(),
                            [](const AssertionRow& row) { return row.name.ends_with("Render"); }),
              1);
    EXPECT_FALSE(holder.status().held);
    EXPECT_EQ(holder.status().failure, HoldFailure::noAnswer);
}

TEST_F(Inhibitions, ARefusalAndASilenceAreToldApart) {
    desktop->start("logind_inhibitors.py", logindName, FakeDesktop::Bus::system,
                   R"({"refuse": true})");
    {
        LiveAssertionHolder holder;
        applyAndWait(holder, wish(AssertionKind::system, "Refused"));
        EXPECT_EQ(holder.status().failure, HoldFailure::refused);
        EXPECT_FALSE(holder.current());
    }
    desktop->start("gnome_session_manager.py", gnomeName, FakeDesktop::Bus::session,
                   R"({"stall": 3})");
    LiveAssertionHolder holder;
    const auto asked = std::chrono::steady_clock::now();
    holder.apply(wish(AssertionKind::system, "Unanswered"));
    // The caller never waits for the desktop.
    EXPECT_LT(std::chrono::steady_clock::now() - asked, std::chrono::milliseconds(500));
    ASSERT_TRUE(holder.settle(std::chrono::seconds(10)));
    EXPECT_EQ(holder.status().failure, HoldFailure::noAnswer);
}

TEST_F(Inhibitions, Plasma5RowsKeepTheComputerAwakeOursAmongThem) {
    desktop->start("kde_policy_agent.py", kdeName, FakeDesktop::Bus::session,
                   R"({"plasma5": true})");
    LiveAssertionHolder holder;
    applyAndWait(holder, wish(AssertionKind::system, "Backup"));
    const auto own = [&holder] { return holder.own(); };
    auto list = rows(own, false);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_TRUE(list[0].isPower);
    EXPECT_TRUE(list[0].keepsAwake());
    EXPECT_EQ(list[0].type, "PreventUserIdleSystemSleep");

    // A film player's inhibition of the screen: Plasma 5 lists it without its kind.
    std::uint32_t cookie = 0;
    sdbus::createProxy(desktop->connection(FakeDesktop::Bus::session), kdeName,
                       "/org/kde/Solid/PowerManagement/PolicyAgent")
        ->callMethod("AddInhibition")
        .onInterface(kdeName)
        .withArguments(std::uint32_t{1 | 4}, std::string("vlc"), std::string("Playing"))
        .storeResultsTo(cookie);
    list = rows(own, false);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_TRUE(list[0].isPower) << "ours first";
    EXPECT_EQ(list[1].processName, "vlc");
    EXPECT_TRUE(list[1].keepsAwake());
}

TEST_F(Inhibitions, ALogindLockWithoutAScreensaverHoldsTheComputerOnly) {
    desktop->start("logind_inhibitors.py", logindName, FakeDesktop::Bus::system);
    LiveAssertionHolder holder;
    applyAndWait(holder, wish(AssertionKind::display, "Slides"));
    EXPECT_TRUE(holder.status().held);
    EXPECT_FALSE(holder.status().displayHeld);
    const auto list = rows([&holder] { return holder.own(); });
    ASSERT_EQ(list.size(), 1u);
    EXPECT_TRUE(list[0].isPower);
    EXPECT_EQ(list[0].type, "PreventUserIdleSystemSleep") << "the display is not kept awake";
}

TEST_F(Inhibitions, ConnectionsMadeAtOnceAllArrive) {
    // The holder, the list and the notifier connect from their threads at the same moment.
    for (int round = 0; round < 20; ++round) {
        std::unique_ptr<sdbus::IConnection> first, second;
        std::thread other([&] { first = DBus::connect(DBus::Bus::session); });
        second = DBus::connect(DBus::Bus::session);
        other.join();
        ASSERT_TRUE(first && second) << "round " << round;
    }
}

TEST_F(Inhibitions, EachInhibitionOnceWhereItWasTakenAndGnomeIgnoresIdleLocks) {
    startDesktop(InhibitionService::logind);
    desktop->start("gnome_session_manager.py", gnomeName, FakeDesktop::Bus::session,
                   R"({"mirror": true})");
    auto& session = desktop->connection(FakeDesktop::Bus::session);
    // A film player asks GNOME; GNOME's manager takes a logind lock of its own for it.
    std::uint32_t cookie = 0;
    sdbus::createProxy(session, gnomeName, "/org/gnome/SessionManager")
        ->callMethod("Inhibit")
        .onInterface(gnomeName)
        .withArguments(std::string("org.gnome.Totem"), std::uint32_t{0},
                       std::string("Playing a film"), std::uint32_t{4})
        .storeResultsTo(cookie);
    // A backup script takes a logind idle lock, which GNOME never looks at.
    sdbus::UnixFd idle;
    sdbus::createProxy(desktop->connection(FakeDesktop::Bus::system), logindName,
                       "/org/freedesktop/login1")
        ->callMethod("Inhibit")
        .onInterface("org.freedesktop.login1.Manager")
        .withArguments(std::string("idle"), std::string("backup"), std::string("Copying"),
                       std::string("block"))
        .storeResultsTo(idle);
    std::vector<std::string> seen;
    for (const auto& row : rows({}, false))
        seen.push_back(row.processName + "|" + (row.keepsAwake() ? "awake" : "not counted"));
    EXPECT_EQ(seen, (std::vector<std::string>{"backup|not counted", "org.gnome.Totem|awake"}));
}
