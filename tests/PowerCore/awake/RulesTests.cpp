#include <PowerCore/awake/Rules.hpp>
#include <gtest/gtest.h>

namespace {

using namespace PowerCore;

const Calendar berlin = *Calendar::named("Europe/Berlin");

// 2026-03-13 is a Friday; Berlin is UTC+1 in March before the 29th.
Timestamp berlinTime(const char* utcIso) {
    return *parseISO8601(utcIso);
}

KeepAwakeRule rule(RuleCondition condition) {
    return {*UUID::parse("E621E1F8-C36C-495A-93FC-0C247A3E6E5F"), std::move(condition), false,
            true};
}

RunningProcess process(std::int32_t pid, std::string name, std::optional<std::string> path = {},
                       bool zombie = false, std::uint64_t start = 100) {
    return {{pid, start}, std::move(name), std::move(path), zombie};
}

TEST(TimeWindow, CrossingMidnightBelongsToTheStartDay) {
    const TimeWindow friNight{{6}, 1320, 120}; // Fri 22:00 to 02:00
    EXPECT_TRUE(friNight.contains(berlinTime("2026-03-13T22:30:00Z"), berlin));  // Fri 23:30
    EXPECT_TRUE(friNight.contains(berlinTime("2026-03-14T00:59:00Z"), berlin));  // Sat 01:59
    EXPECT_FALSE(friNight.contains(berlinTime("2026-03-14T01:00:00Z"), berlin)); // Sat 02:00
    EXPECT_FALSE(friNight.contains(berlinTime("2026-03-13T00:00:00Z"), berlin)); // Fri 01:00
}

TEST(TimeWindow, WeekdaysWrapAroundTheWeek) {
    // Sunday night holds on Monday morning; Saturday night holds on Sunday morning.
    EXPECT_TRUE((TimeWindow{{1}, 1380, 60}).contains(berlinTime("2026-03-15T23:30:00Z"), berlin));
    EXPECT_TRUE((TimeWindow{{7}, 1380, 60}).contains(berlinTime("2026-03-14T23:30:00Z"), berlin));
    EXPECT_FALSE((TimeWindow{{2, 3, 4, 5, 6}, 540, 540})
                     .contains(berlinTime("2026-03-13T08:00:00Z"), berlin));
    EXPECT_FALSE((TimeWindow{{}, 0, 1440}).contains(berlinTime("2026-03-13T08:00:00Z"), berlin));
}

TEST(RuleTitles, FixedEnglishPieces) {
    EXPECT_EQ(rule({TimeWindow{{6, 2}, 540, 1020}}).title(),
              "Keep awake on Mon, Fri 09:00\u201317:00");
    EXPECT_EQ(rule({TaskMatch{TaskNamed{"make"}}}).title(),
              "Keep awake while any process named make is running");
    EXPECT_EQ(rule({TaskMatch{TaskIdentity{42, 7, "ffmpeg"}}}).title(),
              "Keep awake while ffmpeg (the one running now) is running");
    EXPECT_EQ(rule({WhileAppRuns{"org.gnome.Totem", "Videos", {}, true}}).title(),
              "Keep awake while Videos is running (including its helpers)");
    EXPECT_EQ((TimeWindow{{9, 0}, 0, 30}).title(), " 00:00\u201300:30");
}

TEST(TaskRules, IdentityFollowsOneInstance) {
    const auto r = rule({TaskMatch{TaskIdentity{42, 100, "ffmpeg"}}});
    const auto now = berlinTime("2026-03-13T08:00:00Z");
    EXPECT_TRUE(r.matches({}, {process(42, "other name")}, now, berlin));
    EXPECT_FALSE(r.matches({}, {process(42, "ffmpeg", {}, true)}, now, berlin));       // zombie
    EXPECT_FALSE(r.matches({}, {process(42, "ffmpeg", {}, false, 200)}, now, berlin)); // reused pid
    EXPECT_FALSE(r.matches({}, {}, now, berlin));
}

TEST(TaskRules, NamedMatchesWholeNamesCaseInsensitively) {
    const auto r = rule({TaskMatch{TaskNamed{"Terminal"}}});
    const auto now = berlinTime("2026-03-13T08:00:00Z");
    EXPECT_TRUE(r.matches({}, {process(1, "terminal")}, now, berlin));
    EXPECT_TRUE(r.matches({}, {process(1, "x", "/Applications/T.app/Contents/MacOS/TERMINAL")}, now,
                          berlin));
    EXPECT_FALSE(r.matches({}, {process(1, "Terminal Helper")}, now, berlin));
    EXPECT_FALSE(r.matches({}, {process(1, "x", "/usr/bin/myterminal")}, now, berlin));
    EXPECT_EQ(r.matchingNow({}, {process(7, "terminal", {}, true)}, now, berlin),
              std::vector<std::string>{"terminal (pid 7)"}); // the preview keeps zombies
}

TEST(AppRules, BundleIdFirstThenHelpersInsideTheBundle) {
    const auto now = berlinTime("2026-03-13T08:00:00Z");
    const auto r = rule({WhileAppRuns{"org.videolan.VLC", "VLC", "/opt/VLC.app", true}});
    EXPECT_TRUE(r.matches({{"org.videolan.VLC", "Anything", {}}}, {}, now, berlin));
    EXPECT_TRUE(r.matches({}, {process(5, "x", "/opt/VLC.app/Contents/MacOS/x")}, now, berlin));
    EXPECT_FALSE(r.matches({}, {process(5, "x", "/opt/VLC.app2/x")}, now, berlin));
    auto noHelpers = r;
    std::get<WhileAppRuns>(noHelpers.condition.condition).includeHelpers = false;
    EXPECT_FALSE(
        noHelpers.matches({}, {process(5, "x", "/opt/VLC.app/Contents/MacOS/x")}, now, berlin));
    // The preview takes the bundle of the running app when the rule has none.
    const auto rootless = rule({WhileAppRuns{"id", "App", {}, true}});
    EXPECT_EQ(rootless.matchingNow({{"id", "App", "/a/App.app"}},
                                   {process(9, "helper", "/a/App.app/h")}, now, berlin),
              (std::vector<std::string>{"App", "helper"}));
}

TEST(RuleJson, RoundTripsEveryCase) {
    const std::vector<KeepAwakeRule> rules{
        rule(
            {WhileAppRuns{"org.gnome.Totem", "Videos", "/usr/share/applications/x.desktop", true}}),
        rule({WhileAppRuns{"org.gnome.Totem", "Videos", {}, false}}),
        rule({TaskMatch{TaskIdentity{42, 1767225600123456, "ffmpeg"}}}),
        rule({TaskMatch{TaskNamed{"make"}}}),
        rule({TimeWindow{{2, 6}, 1320, 120}}),
    };
    const auto text = writeJson(toJson(rules), JsonStyle::settings);
    EXPECT_NE(text.find(R"({"whileTaskRuns":{"_0":{"named":{"_0":"make"}}})"), std::string::npos);
    const auto decoded = decodeRules(*parseJson(text));
    ASSERT_TRUE(std::holds_alternative<std::vector<KeepAwakeRule>>(decoded));
    EXPECT_EQ(std::get<std::vector<KeepAwakeRule>>(decoded), rules);
    EXPECT_EQ(toJson(rules[1])["condition"]["whileAppRuns"].count("bundlePath"), 0u);
}

TEST(RuleJson, OneBadRuleRejectsTheList) {
    const auto good = toJson(rule({TaskMatch{TaskNamed{"make"}}}));
    const auto messageOf = [&](Json bad) {
        const auto decoded = decodeRules(Json::array({good, bad}));
        return std::holds_alternative<SettingsDecodingError>(decoded)
                   ? std::get<SettingsDecodingError>(decoded).message
                   : std::string("decoded");
    };
    Json twoKeys = good;
    twoKeys["condition"]["timeWindow"] = Json::object();
    EXPECT_EQ(messageOf(twoKeys), "Invalid number of keys found, expected one.");
    Json empty = good;
    empty["condition"] = Json::object();
    EXPECT_EQ(messageOf(empty), "Invalid number of keys found, expected one.");
    Json missing = good;
    missing.erase("isEnabled");
    EXPECT_NE(messageOf(missing), "decoded");
    Json wrongType = good;
    wrongType["keepDisplayOn"] = 1;
    EXPECT_NE(messageOf(wrongType), "decoded");
    Json badId = good;
    badId["id"] = "not-a-uuid";
    EXPECT_NE(messageOf(badId), "decoded");
    Json negativeStart = toJson(rule({TaskMatch{TaskIdentity{1, 2, "x"}}}));
    negativeStart["condition"]["whileTaskRuns"]["_0"]["identity"]["startTime"] = -5;
    EXPECT_NE(messageOf(negativeStart), "decoded");
    // A minute no int can hold is undecodable, not wrapped into another minute.
    Json hugeMinute = toJson(rule({TimeWindow{{2}, 0, 60}}));
    hugeMinute["condition"]["timeWindow"]["_0"]["startMinute"] = 4294967356ULL;
    EXPECT_NE(messageOf(hugeMinute), "decoded");
    EXPECT_TRUE(std::holds_alternative<SettingsDecodingError>(decodeRules(Json::object())));
}

TEST(RuleJson, ASavedRuleReplacesItsStoredSelfWhateverTheIdsCase) {
    // Written by hand, in lower case; one the program cannot read stays where it was.
    const auto made = rule({TaskMatch{TaskNamed{"make"}}});
    Json hand = toJson(made);
    hand["id"] = "e621e1f8-c36c-495a-93fc-0c247a3e6e5f";
    const Json unknown{{"id", "from a later version"}};
    auto edited = made;
    edited.keepDisplayOn = true;
    const auto saved = withRule(Json::array({unknown, hand}), edited);
    ASSERT_TRUE(saved);
    EXPECT_EQ(*saved, Json::array({unknown, toJson(edited)}));
    EXPECT_EQ(withoutRule(Json::array({hand, unknown}), made.id), Json::array({unknown}));
}

TEST(RuleJson, DuplicateWeekdaysCollapse) {
    Json stored = toJson(rule({TimeWindow{{2}, 0, 60}}));
    stored["condition"]["timeWindow"]["_0"]["weekdays"] = Json::array({2, 2, 3});
    const auto decoded = decodeRules(Json::array({stored}));
    const auto& window =
        std::get<TimeWindow>(std::get<std::vector<KeepAwakeRule>>(decoded)[0].condition.condition);
    EXPECT_EQ(window.weekdays, (std::set<int>{2, 3}));
}

} // namespace
