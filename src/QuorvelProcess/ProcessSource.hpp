#pragma once

#include <QuorvelProcess/DrmFdinfo.hpp>
#include <QuorvelProcess/ProcessIdentity.hpp>
#include <QuorvelProcess/ProcessInfo.hpp>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace QuorvelProcess {

// Where the sampler reads processes.
class ProcessSource {
public:
    virtual ~ProcessSource() = default;
    virtual std::vector<std::int32_t> allPIDs() = 0;
    virtual std::optional<BSDInfo> bsdInfo(std::int32_t pid) = 0;
    virtual std::optional<Usage> usage(std::int32_t pid) = 0;
    virtual std::optional<std::string> executablePath(std::int32_t pid) = 0;
    // The systemd unit of the process (an application's scope), where the system has one.
    virtual std::optional<std::string> cgroupUnit(std::int32_t /*pid*/) { return std::nullopt; }
    // The DRM clients (users of the GPU) the process holds now, each once.
    virtual std::vector<DrmClient> drmClients(const ProcessIdentity& /*identity*/) { return {}; }
};

} // namespace QuorvelProcess
