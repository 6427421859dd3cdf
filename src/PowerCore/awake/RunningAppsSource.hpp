#pragma once

#include <PowerCore/awake/Rules.hpp>
#include <vector>

namespace PowerCore {

// The applications the user has running, as rules match them: each with its bundle
// identifier, its display name and, where it has one, its bundle location.
class RunningAppsSource {
public:
    virtual ~RunningAppsSource() = default;
    // In a stable order: the same applications come in the same order at every call.
    virtual std::vector<RunningApp> runningApps() = 0;
};

} // namespace PowerCore
