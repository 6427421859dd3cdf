#pragma once

#include <PowerCore/apps/AppPower.hpp>
#include <PowerCore/awake/Rules.hpp>
#include <span>
#include <vector>

namespace PowerCore {

// The applications the user has running, as rules match them: each with its bundle
// identifier, its display name and, where it has one, its bundle location.
class RunningAppsSource {
public:
    virtual ~RunningAppsSource() = default;
    // In a stable order: the same applications come in the same order at every call.
    virtual std::vector<RunningApp> runningApps() = 0;
    // The same among processes a refresh has just listed, without a second look at the
    // process table; by default the table is looked at again.
    virtual std::vector<RunningApp> runningAppsAmong(std::span<const ListedProcess>) {
        return runningApps();
    }
};

} // namespace PowerCore
