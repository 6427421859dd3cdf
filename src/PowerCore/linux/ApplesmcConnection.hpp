#pragma once

#include <PowerCore/smc/LiveSMCTransport.hpp>
#include <filesystem>
#include <mutex>

namespace PowerCore {

// The SMC of a Mac running Linux, through the applesmc driver's device folder
// (<sysfs>/devices/platform/applesmc.768). Each temp<n>_label names an SMC key whose value
// is temp<n>_input, served as "sp78"; fan n serves F<n-1>Ac, F<n-1>Mn and F<n-1>Mx from
// fan<n>_input, _min and _max as "fpe2". Where this process may write key_at_index (root),
// every key of the SMC is listed and read through the driver's by-index files instead.
class ApplesmcConnection final : public SMCConnection {
public:
    explicit ApplesmcConnection(std::filesystem::path sysfsRoot);

    bool open() override;
    std::optional<SMCKeyData> call(const SMCKeyData& input) override;

    // The key the driver's key_at_index_* files describe now: name, type (trailing blank
    // kept) and the raw data bytes.
    static std::optional<SMCRawValue> readSelectedKey(const std::filesystem::path& device);

private:
    struct Key {
        std::string name;
        std::string type;
        std::uint32_t size = 0;
        std::filesystem::path file; // the hwmon attribute, empty for by-index keys
        std::uint32_t index = 0;    // for by-index keys
    };
    std::filesystem::path locateDevice() const;
    void listHwmonKeys();
    const Key* find(std::string_view name) const;
    std::optional<std::vector<std::uint8_t>> valueOf(const Key& key) const;
    std::optional<SMCRawValue> selectIndex(std::uint32_t index) const;

    // The by-index files are one shared cursor: a select and its reads go together.
    std::mutex mutex_;
    std::filesystem::path sysfsRoot_;
    std::filesystem::path device_;
    std::vector<Key> keys_;
    bool byIndex_ = false;
    std::uint32_t keyCount_ = 0;
};

} // namespace PowerCore
