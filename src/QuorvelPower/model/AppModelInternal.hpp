#pragma once

// What the files of the model share, and nothing outside them uses.
#include <QuorvelPower/model/AppModel.hpp>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string_view>
#include <utility>

namespace QuorvelPower::ModelInternal {

// The stored value of `key` as `decode` reads it; `fallback` when there is none or it cannot
// be read.
template <typename T, typename Decode>
T decoded(const PowerCore::DefaultsStore* defaults, std::string_view key, Decode decode,
          T fallback) {
    if (defaults == nullptr) return fallback;
    const auto json = defaults->value(key);
    if (!json) return fallback;
    if (auto value = decode(*json)) return *value;
    return fallback;
}

inline PowerCore::DecodedRules storedRulesOf(const PowerCore::DefaultsStore* defaults) {
    // Rule by rule: one that cannot be read leaves the others working.
    const auto json = defaults != nullptr ? defaults->value("keepAwakeRules") : std::nullopt;
    return json ? PowerCore::decodeEachRule(*json) : PowerCore::DecodedRules{};
}

// `fn` as a callback that does nothing once the model is gone (or going): the end of work on
// another thread, a timer, a service's answer. `alive` is the model's flag.
template <typename Fn> auto whileAlive(const std::shared_ptr<bool>& alive, Fn fn) {
    return [alive = std::weak_ptr<bool>(alive), fn = std::move(fn)](auto&&... args) {
        if (const auto living = alive.lock(); living && *living)
            fn(std::forward<decltype(args)>(args)...);
    };
}

} // namespace QuorvelPower::ModelInternal

namespace QuorvelPower {

// One export, between the main thread and its worker. A cancel ends it until the file is
// renamed into place; from then on the export completes.
struct AppModel::ExportJob {
    std::atomic<bool> cancelled = false;
    std::atomic<int> percent = 0; // the last told
    std::mutex mutex;
    std::condition_variable changed;
    enum class Stage { waiting, writing, committing, ended } stage = Stage::waiting;

    bool cancel() {
        const std::lock_guard lock(mutex);
        if (stage == Stage::committing || stage == Stage::ended) return false;
        cancelled = true;
        return true;
    }
    // The worker moves on only if nobody cancelled.
    bool advance(Stage next) {
        const std::lock_guard lock(mutex);
        if (cancelled) return false;
        stage = next;
        return true;
    }
    void end() {
        {
            const std::lock_guard lock(mutex);
            stage = Stage::ended;
        }
        changed.notify_all();
    }
    // Cancels and gives the worker a moment to remove its temporary file: the process is
    // about to end, and a worker still writing would leave it behind.
    void cancelAndWait(std::chrono::milliseconds bound) {
        std::unique_lock lock(mutex);
        if (stage != Stage::committing) cancelled = true;
        if (stage == Stage::waiting) return; // the worker will find it cancelled
        changed.wait_for(lock, bound, [this] { return stage == Stage::ended; });
    }
};

template <typename T> void AppModel::publish(Change kind, T& member, T value) {
    if (member == value) return;
    member = std::move(value);
    tell(kind);
}

} // namespace QuorvelPower
