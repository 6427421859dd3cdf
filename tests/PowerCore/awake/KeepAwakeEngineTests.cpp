#include "TestSupport.hpp"

#include <PowerCore/awake/KeepAwakeEngine.hpp>
#include <PowerCore/testing/RecordingAssertionHolder.hpp>
#include <cstdlib>
#include <gtest/gtest.h>
#include <random>

namespace {

using namespace PowerCore;
using Kind = KeepAwakeEvent::Kind;

const Calendar utc = Calendar::utc();

using VuzurTests::at;

Timestamp plus(Timestamp t, double seconds) {
    return t +
           std::chrono::duration_cast<Timestamp::duration>(std::chrono::duration<double>(seconds));
}

EngineInput input(Timestamp now, PowerSource source = PowerSource::ac, int charge = 80,
                  ThermalLevel thermal = ThermalLevel::nominal, std::vector<RunningApp> apps = {}) {
    BatterySnapshot::Battery b;
    b.chargePercent = charge;
    b.state = source == PowerSource::battery ? ChargeState::discharging : ChargeState::charging;
    return {now, {now, source, b}, thermal, std::move(apps), {}};
}

KeepAwakeRule appRule(const char* id, const char* bundle) {
    return {*UUID::parse(id), {WhileAppRuns{bundle, bundle, {}, false}}, false, true};
}

KeepAwakeEngine engine(std::vector<KeepAwakeRule> rules = {}) {
    return KeepAwakeEngine(GuardRails::defaults(), std::move(rules), utc, [](Timestamp t) {
        return utc.dayName(t).substr(5) + " " + std::to_string(utc.hour(t)) + "h";
    });
}

std::vector<Kind> kinds(const KeepAwakeEngine::Evaluation& e) {
    std::vector<Kind> out;
    for (const auto& event : e.events)
        out.push_back(event.kind);
    return out;
}

const char* const ruleA = "00000000-0000-4000-8000-00000000000A";
const char* const ruleB = "00000000-0000-4000-8000-00000000000B";

TEST(ManualTitle, DurationsAndUntil) {
    const auto shortTime = [](Timestamp) { return std::string("17:30"); };
    EXPECT_EQ(manualTitle({false, 5400, {}}, shortTime), "for 1 h 30 min");
    EXPECT_EQ(manualTitle({false, 7200, {}}, shortTime), "for 2 h");
    EXPECT_EQ(manualTitle({false, 2700, {}}, shortTime), "for 45 min");
    EXPECT_EQ(manualTitle({false, 30, {}}, shortTime), "for 0 min");
    EXPECT_EQ(manualTitle({false, 30, at("2026-03-14T17:30:00Z")}, shortTime), "until 17:30");
    EXPECT_EQ(manualTitle({false, {}, {}}, shortTime), "until turned off");
}

TEST(Engine, CapQuestionAtTenMinutesAndExtension) {
    auto e = engine();
    const auto start = at("2026-03-14T10:00:00Z");
    e.requestManual({false, {}, {}});
    EXPECT_EQ(kinds(e.evaluate(input(start))), std::vector<Kind>{Kind::started});
    EXPECT_TRUE(kinds(e.evaluate(input(at("2026-03-14T21:49:59Z")))).empty());
    const auto asked = e.evaluate(input(at("2026-03-14T21:50:00Z")));
    EXPECT_EQ(kinds(asked), std::vector<Kind>{Kind::questionDue});
    EXPECT_TRUE(asked.events[0].session.questionAsked);
    const auto extended = e.answerQuestion(true, at("2026-03-14T21:55:00Z"));
    ASSERT_TRUE(extended);
    EXPECT_EQ(extended->session.capAt, at("2026-03-15T09:55:00Z"));
    EXPECT_FALSE(e.answerQuestion(true, at("2026-03-14T21:56:00Z"))); // not asked again yet
}

TEST(Engine, UnansweredQuestionEndsAtTheCap) {
    auto e = engine();
    const auto start = at("2026-03-14T10:00:00Z");
    e.requestManual({true, 13 * 3600.0, {}});
    const auto started = e.evaluate(input(start));
    EXPECT_EQ(started.events[0].session.endsAt, plus(start, 13 * 3600));
    EXPECT_EQ(started.desired->kind, AssertionKind::display);
    EXPECT_EQ(started.desired->timeout, 900.0);
    e.evaluate(input(plus(start, 11.9 * 3600)));
    const auto near = e.evaluate(input(plus(start, 12 * 3600 - 30)));
    EXPECT_EQ(near.desired->timeout, 30.0);
    const auto capped = e.evaluate(input(plus(start, 12 * 3600)));
    ASSERT_EQ(kinds(capped), std::vector<Kind>{Kind::ended});
    EXPECT_EQ(capped.events[0].reason, EndReason::durationCap);
    EXPECT_TRUE(e.manualEndedOnCap());
    EXPECT_FALSE(capped.desired);
}

// A cap of 1e10 s (317 years) is past the last instant a timestamp holds: the session runs,
// it does not end at once as if capped.
TEST(Engine, AHugeStoredCapNeverEndsASessionAtOnce) {
    Json stored = toJson(GuardRails::defaults());
    stored["durationCap"] = 1e10;
    const auto rails = guardRailsFromJson(stored);
    ASSERT_TRUE(rails);
    KeepAwakeEngine e(*rails, {}, utc, [](Timestamp) { return std::string("later"); });
    const auto start = at("2026-03-14T10:00:00Z");
    e.requestManual({false, {}, {}});
    EXPECT_EQ(kinds(e.evaluate(input(start))), std::vector<Kind>{Kind::started});
    EXPECT_TRUE(kinds(e.evaluate(input(plus(start, 3600)))).empty());
    ASSERT_TRUE(e.active());
    // Its far cap is one a restart can read back.
    EXPECT_EQ(activeSessionFromJson(toJson(*e.active())), e.active());
}

TEST(Engine, PastUntilStartsThenEndsOnTime) {
    auto e = engine();
    const auto now = at("2026-03-14T10:00:00Z");
    e.requestManual({false, {}, plus(now, -60)});
    EXPECT_EQ(kinds(e.evaluate(input(now))), std::vector<Kind>{Kind::started});
    const auto next = e.evaluate(input(plus(now, 5)));
    ASSERT_EQ(kinds(next), std::vector<Kind>{Kind::ended});
    EXPECT_EQ(next.events[0].reason, EndReason::timeUp);
}

TEST(Engine, BatteryFloorBlocksUntilChargerOrSixPointsMore) {
    auto e = engine();
    auto now = at("2026-03-14T10:00:00Z");
    e.requestManual({false, {}, {}});
    e.evaluate(input(now, PowerSource::battery, 50));
    const auto floor = e.evaluate(input(now += std::chrono::seconds(5), PowerSource::battery, 20));
    ASSERT_EQ(kinds(floor), std::vector<Kind>{Kind::ended});
    EXPECT_EQ(floor.events[0].reason, EndReason::batteryFloor);
    EXPECT_TRUE(e.startRefusal(input(now, PowerSource::battery, 25)));
    e.evaluate(input(now, PowerSource::battery, 25));
    EXPECT_EQ(*e.startRefusal(input(now, PowerSource::battery, 25)),
              "The battery is at or under 20 %. Keep-awake waits for the charger or more charge.");
    e.evaluate(input(now, PowerSource::battery, 26));
    EXPECT_FALSE(e.startRefusal(input(now, PowerSource::battery, 26)));
    e.evaluate(input(now, PowerSource::battery, 5));
    e.evaluate(input(now, PowerSource::ac, 5)); // the charger lifts it at any charge
    EXPECT_FALSE(e.startRefusal(input(now, PowerSource::ac, 5)));
}

TEST(Engine, ThermalBlockLiftsOnlyBelowSerious) {
    auto e = engine({appRule(ruleA, "a")});
    const auto now = at("2026-03-14T10:00:00Z");
    const std::vector<RunningApp> a{{"a", "a", {}}};
    e.evaluate(input(now, PowerSource::ac, 80, ThermalLevel::critical, a));
    EXPECT_FALSE(e.active());
    e.evaluate(input(now, PowerSource::ac, 80, ThermalLevel::serious, a));
    EXPECT_FALSE(e.active());
    e.requestManual({false, 60, {}});
    e.evaluate(input(now, PowerSource::ac, 80, ThermalLevel::serious, a));
    EXPECT_FALSE(e.pendingManual()); // dropped at the block
    EXPECT_EQ(kinds(e.evaluate(input(now, PowerSource::ac, 80, ThermalLevel::fair, a))),
              std::vector<Kind>{Kind::started});
    const auto hot = e.evaluate(input(now, PowerSource::ac, 80, ThermalLevel::critical, a));
    EXPECT_EQ(hot.events[0].reason, EndReason::thermalCritical);
}

TEST(Engine, RuleEndedByTheUserRestsUntilItsAppWasGoneLongEnough) {
    auto e = engine({appRule(ruleA, "a")});
    auto now = at("2026-03-14T10:00:00Z");
    const std::vector<RunningApp> running{{"a", "a", {}}};
    e.evaluate(input(now, PowerSource::ac, 80, ThermalLevel::nominal, running));
    ASSERT_TRUE(e.active());
    e.endByUser(now);
    EXPECT_TRUE(e.isResting(*UUID::parse(ruleA)));
    EXPECT_TRUE(
        kinds(e.evaluate(input(plus(now, 5), PowerSource::ac, 80, ThermalLevel::nominal, running)))
            .empty());
    // Closed for 30 s only: still resting.
    e.evaluate(input(plus(now, 10)));
    EXPECT_TRUE(
        kinds(e.evaluate(input(plus(now, 40), PowerSource::ac, 80, ThermalLevel::nominal, running)))
            .empty());
    // Closed for 60 s: it starts again when seen running.
    e.evaluate(input(plus(now, 50)));
    auto again = e;
    EXPECT_EQ(kinds(e.evaluate(
                  input(plus(now, 110), PowerSource::ac, 80, ThermalLevel::nominal, running))),
              std::vector<Kind>{Kind::started});
    // The same 60 s closed with the wall clock set back an hour meanwhile, no session held:
    // the rest is over all the same.
    again.wallClockMoved(-3600);
    EXPECT_EQ(kinds(again.evaluate(input(plus(now, 110 - 3600), PowerSource::ac, 80,
                                         ThermalLevel::nominal, running))),
              std::vector<Kind>{Kind::started});
}

TEST(Engine, EarlierRuleWinsAndTheNextTakesOverInTheSameEvaluation) {
    auto e = engine({appRule(ruleA, "a"), appRule(ruleB, "b")});
    const auto now = at("2026-03-14T10:00:00Z");
    const auto both = e.evaluate(
        input(now, PowerSource::ac, 80, ThermalLevel::nominal, {{"b", "b", {}}, {"a", "a", {}}}));
    EXPECT_EQ(both.events[0].session.origin.rule, UUID::parse(ruleA));
    const auto handover = e.evaluate(
        input(plus(now, 5), PowerSource::ac, 80, ThermalLevel::nominal, {{"b", "b", {}}}));
    ASSERT_EQ(kinds(handover), (std::vector<Kind>{Kind::ended, Kind::started}));
    EXPECT_EQ(handover.events[0].reason, EndReason::conditionEnded);
    EXPECT_EQ(handover.events[1].session.origin.rule, UUID::parse(ruleB));
    EXPECT_EQ(handover.events[1].session.title, "Keep awake while b is running");
    // Disabling the running rule ends it at the next evaluation.
    e.rules[1].isEnabled = false;
    const auto disabled = e.evaluate(
        input(plus(now, 10), PowerSource::ac, 80, ThermalLevel::nominal, {{"b", "b", {}}}));
    EXPECT_EQ(disabled.events[0].reason, EndReason::conditionEnded);
}

TEST(Engine, RuleSessionsRestAfterTheCapOrADeclinedQuestion) {
    const std::vector<RunningApp> a{{"a", "a", {}}};
    const auto start = at("2026-03-14T10:00:00Z");
    auto capped = engine({appRule(ruleA, "a")});
    capped.evaluate(input(start, PowerSource::ac, 80, ThermalLevel::nominal, a));
    const auto atCap =
        capped.evaluate(input(plus(start, 43200), PowerSource::ac, 80, ThermalLevel::nominal, a));
    ASSERT_EQ(kinds(atCap), std::vector<Kind>{Kind::ended}); // resting: no restart
    EXPECT_EQ(atCap.events[0].reason, EndReason::durationCap);
    EXPECT_TRUE(capped.isResting(*UUID::parse(ruleA)));
    EXPECT_FALSE(capped.manualEndedOnCap());

    auto declined = engine({appRule(ruleA, "a")});
    declined.evaluate(input(start, PowerSource::ac, 80, ThermalLevel::nominal, a));
    declined.evaluate(input(plus(start, 42600), PowerSource::ac, 80, ThermalLevel::nominal, a));
    const auto answer = declined.answerQuestion(false, plus(start, 42700));
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->reason, EndReason::user);
    EXPECT_TRUE(declined.isResting(*UUID::parse(ruleA)));
}

TEST(Engine, RefusalsAndQuit) {
    auto e = engine();
    const auto now = at("2026-03-14T10:00:00Z");
    EXPECT_EQ(*e.startRefusal(input(now, PowerSource::ac, 80, ThermalLevel::critical)),
              "The computer is critically hot. Keep-awake waits until it cools down.");
    e.requestManual({false, {}, {}});
    e.evaluate(input(now));
    EXPECT_EQ(*e.startRefusal(input(now)), "A session is already active. End it first.");
    EXPECT_FALSE(e.answerQuestion(true, now));
    EXPECT_EQ(e.endForQuit(now)->reason, EndReason::quit);
    EXPECT_FALSE(e.endForQuit(now));
    EXPECT_FALSE(e.endByUser(now));
}

TEST(StoredEngineState, GuardRailsAndSessionsRoundTrip) {
    const GuardRails rails{15, 3600, 300, 90};
    EXPECT_EQ(guardRailsFromJson(*parseJson(writeJson(toJson(rails), JsonStyle::settings))), rails);
    Json missing = toJson(rails);
    missing.erase("ruleRestGap");
    EXPECT_FALSE(guardRailsFromJson(missing));
    // 4294967316 is no int: the stored value is undecodable, not a floor of 20.
    Json hugeFloor = toJson(rails);
    hugeFloor["batteryFloorPercent"] = 4294967316ULL;
    EXPECT_FALSE(guardRailsFromJson(hugeFloor));
    const ActiveSession session{
        {UUID::parse(ruleA)}, "Keep awake while a is running", true, at("2026-03-14T10:00:00Z"),
        std::nullopt,         at("2026-03-14T22:00:00Z"),      false};
    const Json json = toJson(session);
    EXPECT_FALSE(json.contains("endsAt"));
    EXPECT_EQ(activeSessionFromJson(json), session);
    ActiveSession manual = session;
    manual.origin = {};
    manual.endsAt = at("2026-03-14T11:00:00Z");
    EXPECT_EQ(activeSessionFromJson(toJson(manual)), manual);
    Json twoOrigins = json;
    twoOrigins["origin"]["manual"] = Json::object();
    EXPECT_FALSE(activeSessionFromJson(twoOrigins));
}

// Long random runs of the engine: after every step at most one session, every start ended at
// most once, the wish present exactly with a session and its timeout in 1...900, the holder
// balanced, and no session at the battery floor on battery or at critical heat.
TEST(EngineRandomized, InvariantsHoldOverLongRuns) {
    // A fixed seed, so a failure reproduces; VUZUR_TEST_SEED tries another.
    unsigned seed = 20260314;
    if (const char* chosen = std::getenv("VUZUR_TEST_SEED"))
        seed = unsigned(std::strtoul(chosen, nullptr, 10));
    SCOPED_TRACE("seed " + std::to_string(seed) + " (VUZUR_TEST_SEED)");
    std::mt19937 random(seed);
    const auto pick = [&](int n) { return int(random() % unsigned(n)); };
    const std::vector<std::string> bundles{"a", "b", "c"};
    auto e = engine();
    RecordingAssertionHolder holder;
    auto now = at("2026-03-14T00:00:00Z");
    std::vector<RunningApp> apps;
    int charge = 60;
    PowerSource source = PowerSource::ac;
    ThermalLevel thermal = ThermalLevel::nominal;
    int open = 0; // started minus ended
    int starts = 0;
    const auto track = [&](const KeepAwakeEvent& event) {
        if (event.kind == Kind::started) ++open, ++starts;
        if (event.kind == Kind::ended) --open;
        ASSERT_GE(open, 0);
        ASSERT_LE(open, 1);
    };
    for (int step = 0; step < 20000; ++step) {
        now = plus(now, std::vector<double>{1, 5, 30, 300, 3600}[size_t(pick(5))]);
        switch (pick(12)) {
        case 0:
            source = std::vector{PowerSource::ac, PowerSource::battery, PowerSource::ups,
                                 PowerSource::unknown}[size_t(pick(4))];
            break;
        case 1:
            charge = pick(101);
            break;
        case 2:
            thermal = ThermalLevel(pick(4));
            break;
        case 3:
            apps = {};
            for (const auto& b : bundles)
                if (pick(2)) apps.push_back({b, b, {}});
            break;
        case 4: {
            char id[37];
            std::snprintf(id, sizeof id, "00000000-0000-4000-8000-%012d", pick(1000000));
            e.rules.push_back(appRule(id, bundles[size_t(pick(3))].c_str()));
            break;
        }
        case 5:
            if (!e.rules.empty()) e.rules[size_t(pick(int(e.rules.size())))].isEnabled ^= true;
            break;
        case 6:
            if (!e.rules.empty()) e.rules.erase(e.rules.begin() + pick(int(e.rules.size())));
            break;
        case 7:
            e.requestManual(
                {pick(2) == 1, pick(2) ? std::optional(double(pick(20000))) : std::nullopt, {}});
            break;
        case 8:
            if (auto ev = e.endByUser(now)) track(*ev);
            break;
        case 9:
            if (auto ev = e.answerQuestion(pick(2) == 1, now)) track(*ev);
            break;
        case 10:
            if (auto ev = e.endForQuit(now)) track(*ev);
            break;
        default:
            break;
        }
        BatterySnapshot::Battery b;
        b.chargePercent = charge;
        const EngineInput in{now, {now, source, b}, thermal, apps, {}};
        const auto result = e.evaluate(in);
        for (const auto& event : result.events)
            track(event);
        holder.apply(result.desired);
        ASSERT_EQ(open, e.active() ? 1 : 0) << "step " << step;
        ASSERT_EQ(result.desired.has_value(), e.active().has_value()) << "step " << step;
        if (result.desired) {
            ASSERT_GE(result.desired->timeout, 1.0);
            ASSERT_LE(result.desired->timeout, 900.0);
        }
        ASSERT_TRUE(holder.balanced()) << "step " << step;
        const bool atFloor =
            source == PowerSource::battery && charge <= e.rails.batteryFloorPercent;
        ASSERT_FALSE(e.active() && (atFloor || thermal == ThermalLevel::critical))
            << "step " << step;
    }
}

} // namespace
