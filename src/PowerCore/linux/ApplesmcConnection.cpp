#include <PowerCore/linux/ApplesmcConnection.hpp>
#include <PowerCore/linux/SysfsFile.hpp>
#include <algorithm>
#include <cmath>
#include <fcntl.h>
#include <fmt/format.h>
#include <unistd.h>

namespace PowerCore {

namespace {

namespace fs = std::filesystem;

// "temp12_label" -> 12 for prefix "temp" and suffix "_label".
std::optional<int> attributeIndex(std::string_view name, std::string_view prefix,
                                  std::string_view suffix) {
    if (!name.starts_with(prefix) || !name.ends_with(suffix)) return std::nullopt;
    const auto digits = name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
    const auto value = Sysfs::parseInteger(digits);
    if (!value || digits.empty() || digits.front() == '+' || *value < 0 || *value > 9999)
        return std::nullopt;
    return int(*value);
}

std::vector<int> indices(const std::vector<std::string>& names, std::string_view prefix,
                         std::string_view suffix) {
    std::vector<int> found;
    for (const auto& name : names)
        if (const auto i = attributeIndex(name, prefix, suffix)) found.push_back(*i);
    std::sort(found.begin(), found.end());
    return found;
}

std::vector<std::uint8_t> bigEndian(std::uint32_t value, int bytes) {
    std::vector<std::uint8_t> out;
    for (int i = bytes - 1; i >= 0; --i)
        out.push_back(std::uint8_t(value >> (8 * i)));
    return out;
}

// Millidegrees as the SMC's signed 8.8 fixed point.
std::vector<std::uint8_t> sp78(std::int64_t millidegrees) {
    const double fixed = std::round(double(millidegrees) * 256.0 / 1000.0);
    return bigEndian(std::uint32_t(std::int16_t(std::clamp(fixed, -32768.0, 32767.0))) & 0xFFFF, 2);
}

// Revolutions per minute as the SMC's unsigned 14.2 fixed point.
std::vector<std::uint8_t> fpe2(std::int64_t rpm) {
    // Clamped before the shift to fixed point: a driver value near 2^62 must not overflow.
    return bigEndian(
        std::uint32_t(std::min<std::int64_t>(std::clamp<std::int64_t>(rpm, 0, 0xFFFF) * 4, 0xFFFF)),
        2);
}

bool writeNumber(const fs::path& file, std::uint32_t value) {
    const int fd = ::open(file.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const auto text = fmt::format("{}", value);
    const bool ok = ::write(fd, text.data(), text.size()) == ssize_t(text.size());
    ::close(fd);
    return ok;
}

// The attribute without its line feed; unlike readText, blanks are kept ("flt ").
std::optional<std::string> readLine(const fs::path& file) {
    auto text = Sysfs::readFile(file);
    if (text && !text->empty() && text->back() == '\n') text->pop_back();
    return text;
}

} // namespace

ApplesmcConnection::ApplesmcConnection(std::filesystem::path sysfsRoot)
    : sysfsRoot_(std::move(sysfsRoot)) {}

fs::path ApplesmcConnection::locateDevice() const {
    const auto platform = sysfsRoot_ / "devices/platform/applesmc.768";
    if (Sysfs::readText(platform / "name") == "applesmc") return platform;
    // Newer kernels may register it as a modern hwmon device.
    for (const auto& entry : Sysfs::listFolder(sysfsRoot_ / "class/hwmon")) {
        const auto folder = sysfsRoot_ / "class/hwmon" / entry;
        for (const auto& candidate : {folder, folder / "device"})
            if (Sysfs::readText(candidate / "name") == "applesmc") return candidate;
    }
    return {};
}

bool ApplesmcConnection::open() {
    const std::lock_guard guard(mutex_);
    device_ = locateDevice();
    if (device_.empty()) return false;
    listHwmonKeys();
    const auto count = Sysfs::readInteger(device_ / "key_count");
    if (count && *count > 0 && ::access((device_ / "key_at_index").c_str(), W_OK) == 0) {
        byIndex_ = true;
        keyCount_ = std::uint32_t(std::min<std::int64_t>(*count, 0xFFFF));
    }
    return true;
}

void ApplesmcConnection::listHwmonKeys() {
    const auto names = Sysfs::listFolder(device_);
    for (const int n : indices(names, "temp", "_label")) {
        const auto label = Sysfs::readText(device_ / fmt::format("temp{}_label", n));
        if (!label || label->empty() || find(*label) != nullptr) continue;
        keys_.push_back({*label, "sp78", 2, device_ / fmt::format("temp{}_input", n), 0});
    }
    for (const int n : indices(names, "fan", "_input")) {
        for (const auto& [suffix, attribute] :
             {std::pair{"Ac", "input"}, std::pair{"Mn", "min"}, std::pair{"Mx", "max"}}) {
            const auto file = device_ / fmt::format("fan{}_{}", n, attribute);
            if (::access(file.c_str(), F_OK) != 0) continue;
            keys_.push_back({fmt::format("F{}{}", n - 1, suffix), "fpe2", 2, file, 0});
        }
    }
}

const ApplesmcConnection::Key* ApplesmcConnection::find(std::string_view name) const {
    const auto it =
        std::find_if(keys_.begin(), keys_.end(), [&](const Key& k) { return k.name == name; });
    return it == keys_.end() ? nullptr : &*it;
}

std::optional<SMCRawValue> ApplesmcConnection::readSelectedKey(const fs::path& device) {
    const auto name = readLine(device / "key_at_index_name");
    const auto type = readLine(device / "key_at_index_type");
    const auto length = Sysfs::readInteger(device / "key_at_index_data_length");
    auto data = Sysfs::readFile(device / "key_at_index_data");
    if (!name || !type || !length || !data || *length < 0 || *length > 32) return std::nullopt;
    data->resize(std::min(data->size(), size_t(*length)));
    return SMCRawValue{*name, *type, std::vector<std::uint8_t>(data->begin(), data->end())};
}

std::optional<SMCRawValue> ApplesmcConnection::selectIndex(std::uint32_t index) const {
    if (!writeNumber(device_ / "key_at_index", index)) return std::nullopt;
    return readSelectedKey(device_);
}

std::optional<std::vector<std::uint8_t>> ApplesmcConnection::valueOf(const Key& key) const {
    if (key.file.empty()) {
        auto selected = selectIndex(key.index);
        if (!selected || selected->key != key.name) return std::nullopt;
        return selected->bytes;
    }
    const auto value = Sysfs::readInteger(key.file);
    if (!value) return std::nullopt;
    return key.type == "sp78" ? sp78(*value) : fpe2(*value);
}

std::optional<SMCKeyData> ApplesmcConnection::call(const SMCKeyData& input) {
    const std::lock_guard guard(mutex_);
    SMCKeyData reply;
    const std::string name = SMCFourCC::text(input.key);
    const std::uint32_t listed = byIndex_ ? keyCount_ : std::uint32_t(keys_.size());
    switch (input.data8) {
    case SMCCommand::keyInfo: {
        if (name == "#KEY") {
            reply.keyInfoDataSize = 4;
            reply.keyInfoDataType = SMCFourCC::code("ui32");
            return reply;
        }
        const Key* key = find(name);
        if (key == nullptr) return std::nullopt;
        reply.keyInfoDataSize = key->size;
        reply.keyInfoDataType = SMCFourCC::code(key->type);
        return reply;
    }
    case SMCCommand::readKey: {
        std::vector<std::uint8_t> bytes;
        if (name == "#KEY") {
            bytes = bigEndian(listed, 4);
        } else if (const Key* key = find(name)) {
            auto value = valueOf(*key);
            if (!value) return std::nullopt;
            bytes = std::move(*value);
        } else {
            return std::nullopt;
        }
        std::copy_n(bytes.begin(), std::min(bytes.size(), reply.bytes.size()), reply.bytes.begin());
        return reply;
    }
    case SMCCommand::keyByIndex: {
        if (input.data32 >= listed) return std::nullopt;
        if (!byIndex_) {
            reply.key = SMCFourCC::code(keys_[input.data32].name);
            return reply;
        }
        const auto selected = selectIndex(input.data32);
        if (!selected || selected->bytes.empty()) return std::nullopt;
        // Remember where the key lives so that reading it by name finds it.
        if (find(selected->key) == nullptr)
            keys_.push_back({selected->key,
                             selected->type,
                             std::uint32_t(selected->bytes.size()),
                             {},
                             input.data32});
        reply.key = SMCFourCC::code(selected->key);
        return reply;
    }
    default:
        return std::nullopt;
    }
}

} // namespace PowerCore
