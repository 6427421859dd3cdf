#include <PowerCore/smc/LiveSMCTransport.hpp>

namespace PowerCore {

LiveSMCTransport::LiveSMCTransport(std::unique_ptr<SMCConnection> connection)
    : connection_(std::move(connection)) {}

bool LiveSMCTransport::ensureOpen() const {
    const std::lock_guard guard(lock_);
    // One attempt per transport: a failure is final, even if the device appears later.
    if (!opened_) {
        opened_ = true;
        connected_ = connection_ != nullptr && connection_->open();
    }
    return connected_;
}

std::optional<SMCKeyData> LiveSMCTransport::call(const SMCKeyData& input) const {
    if (!ensureOpen()) return std::nullopt;
    const auto reply = connection_->call(input);
    if (!reply || reply->result != 0) return std::nullopt;
    return reply;
}

std::optional<LiveSMCTransport::KeyInfo> LiveSMCTransport::info(std::string_view key) const {
    {
        const std::lock_guard guard(lock_);
        if (const auto it = keyInfo_.find(key); it != keyInfo_.end()) return it->second;
    }
    SMCKeyData request;
    request.key = SMCFourCC::code(key);
    request.data8 = SMCCommand::keyInfo;
    const auto reply = call(request);
    // Rejected replies are not cached: the next read asks again.
    if (!reply || reply->keyInfoDataSize < 1 || reply->keyInfoDataSize > 32) return std::nullopt;
    KeyInfo found{reply->keyInfoDataSize, SMCFourCC::text(reply->keyInfoDataType)};
    const std::lock_guard guard(lock_);
    keyInfo_.insert_or_assign(std::string(key), found);
    return found;
}

std::optional<SMCRawValue> LiveSMCTransport::read(std::string_view key) const {
    const auto keyInfo = info(key);
    if (!keyInfo) return std::nullopt;
    SMCKeyData request;
    request.key = SMCFourCC::code(key);
    request.keyInfoDataSize = keyInfo->size;
    request.data8 = SMCCommand::readKey;
    const auto reply = call(request);
    if (!reply) return std::nullopt;
    return SMCRawValue{std::string(key), keyInfo->type, reply->payload(long(keyInfo->size))};
}

std::vector<SMCRawValue> LiveSMCTransport::allKeys() const {
    std::vector<SMCRawValue> keys;
    const auto countValue = read("#KEY");
    const auto count = countValue ? countValue->number() : std::nullopt;
    if (!count || *count < 1) return keys;
    const auto total = std::uint32_t(*count);
    for (std::uint32_t i = 0; i < total; ++i) {
        SMCKeyData request;
        request.data8 = SMCCommand::keyByIndex;
        request.data32 = i;
        const auto reply = call(request);
        if (!reply) continue;
        if (auto value = read(SMCFourCC::text(reply->key))) keys.push_back(std::move(*value));
    }
    return keys;
}

} // namespace PowerCore
