// The settings file: writing the person's changes, following another copy's, the login item.
#include "AppModelInternal.hpp"

#include <PowerCore/foundation/PlatformWords.hpp>

namespace QuorvelPower {

using namespace PowerCore;
using namespace ModelInternal;

namespace {

// `after` over what is stored now: only the fields that differ from `before` (what the
// person changed here) replace the stored ones, so another copy's changes stay.
Json changedFields(const std::optional<Json>& stored, const Json& before, const Json& after) {
    Json merged = stored && stored->is_object() ? *stored : before;
    for (auto it = after.begin(); it != after.end(); ++it)
        if (!before.contains(it.key()) || before[it.key()] != it.value())
            merged[it.key()] = it.value();
    return merged;
}

} // namespace

bool AppModel::store(std::string_view key, const DefaultsStore::Change& change) {
    if (!parts_.defaults) return false;
    // Another copy wrote since this one last read the file: its change is still to be
    // followed at the next refresh, so this write does not count as read.
    const bool current = parts_.defaults->version() == settingsVersion_;
    if (parts_.defaults->update(key, change)) {
        if (current) settingsVersion_ = parts_.defaults->version();
        return true;
    }
    notSaved();
    return false;
}

void AppModel::notSaved() {
    publish(&ModelListener::sheetsChanged, notice_,
            std::optional<Notice>(Notice{UUID::random(), "The change could not be saved",
                                         "Vuzur could not write its settings file, so the change "
                                         "lasts only until Vuzur quits."}));
}

void AppModel::storeJson(std::string_view key, const Json& value) {
    store(key, [&value](const std::optional<Json>&) { return value; });
}

void AppModel::followStoredSettings() {
    // Another copy of the program (or the person, by hand) changed the settings file.
    if (!parts_.defaults || parts_.defaults->version() == settingsVersion_) return;
    settingsVersion_ = parts_.defaults->version();
    const auto* defaults = parts_.defaults.get();
    publish(
        &ModelListener::settingsChanged, rails_,
        decoded<GuardRails>(defaults, "guardRails", guardRailsFromJson, GuardRails::defaults()));
    engine_.rails = rails_;
    publish(
        &ModelListener::settingsChanged, alertSettings_,
        decoded<AlertSettings>(defaults, "alertSettings", alertSettingsFromJson, AlertSettings{}));
    alertEngine_.settings = alertSettings_;
    useRules(storedRulesOf(defaults));
}

void AppModel::answerLoginQuestion(bool open) {
    storeJson("loginItemQuestionAsked", Json(true));
    publish(&ModelListener::sheetsChanged, loginQuestionPending_, false);
    if (!parts_.loginItem) return;
    if (open && !options_.showLoginQuestion)
        if (const auto error = parts_.loginItem->registerItem())
            publish(&ModelListener::sheetsChanged, notice_,
                    std::optional<Notice>(Notice{UUID::random(),
                                                 platformText("Could not add Vuzur to Login Items"),
                                                 *error}));
    publish(&ModelListener::settingsChanged, loginItemStatus_, parts_.loginItem->status());
}

void AppModel::setOpenAtLogin(bool on) {
    if (!parts_.loginItem) return;
    const auto error = on ? parts_.loginItem->registerItem() : parts_.loginItem->unregisterItem();
    if (error)
        publish(&ModelListener::sheetsChanged, notice_,
                std::optional<Notice>(
                    Notice{UUID::random(),
                           platformText(on ? "Could not add Vuzur to Login Items"
                                           : "Could not remove Vuzur from Login Items"),
                           *error}));
    publish(&ModelListener::settingsChanged, loginItemStatus_, parts_.loginItem->status());
}

void AppModel::setRails(const GuardRails& rails) {
    const auto before = toJson(rails_);
    publish(&ModelListener::settingsChanged, rails_, rails);
    store("guardRails", [&](const std::optional<Json>& stored) {
        return changedFields(stored, before, toJson(rails_));
    });
    engine_.rails = rails_;
}

void AppModel::setAlertSettings(const AlertSettings& settings) {
    const auto before = toJson(alertSettings_);
    publish(&ModelListener::settingsChanged, alertSettings_, settings);
    store("alertSettings", [&](const std::optional<Json>& stored) {
        return changedFields(stored, before, toJson(alertSettings_));
    });
    alertEngine_.settings = alertSettings_;
}

} // namespace QuorvelPower
