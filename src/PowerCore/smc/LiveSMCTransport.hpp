#pragma once

#include <PowerCore/smc/SMCConnection.hpp>
#include <PowerCore/smc/SMCTransport.hpp>
#include <map>
#include <memory>
#include <mutex>

namespace PowerCore {

// Reads keys through a connection that it opens at most once, caching each key's size and
// type so a steady-state read is one driver call. Safe to share between threads: the
// lock guards the open and the cache, not the driver call.
class LiveSMCTransport final : public SMCTransport {
public:
    explicit LiveSMCTransport(std::unique_ptr<SMCConnection> connection);

    std::optional<SMCRawValue> read(std::string_view key) const override;
    std::vector<SMCRawValue> allKeys() const override;

private:
    struct KeyInfo {
        std::uint32_t size;
        std::string type;
    };
    bool ensureOpen() const;
    std::optional<SMCKeyData> call(const SMCKeyData& input) const;
    std::optional<KeyInfo> info(std::string_view key) const;

    mutable std::mutex lock_;
    std::unique_ptr<SMCConnection> connection_;
    mutable bool opened_ = false;
    mutable bool connected_ = false;
    mutable std::map<std::string, KeyInfo, std::less<>> keyInfo_;
};

} // namespace PowerCore
