#include <PowerCore/battery/BatteryKeys.hpp>
#include <PowerCore/battery/BatteryReader.hpp>
#include <PowerCore/testing/FixtureBatterySource.hpp>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <memory>
#include <plist/plist.h>

namespace PowerCore {

namespace {

// Seconds between 1970 and 2001, the epoch of property-list dates.
constexpr double referenceDateOffset = 978307200.0;

LooseValue convert(plist_t node);

LooseArray convertArray(plist_t node) {
    LooseArray array;
    const uint32_t count = plist_array_get_size(node);
    array.reserve(count);
    for (uint32_t i = 0; i < count; ++i)
        array.push_back(convert(plist_array_get_item(node, i)));
    return array;
}

LooseDictionary convertDictionary(plist_t node) {
    LooseDictionary dict;
    plist_dict_iter iter = nullptr;
    plist_dict_new_iter(node, &iter);
    if (iter == nullptr) return dict;
    for (;;) {
        char* key = nullptr;
        plist_t value = nullptr;
        plist_dict_next_item(node, iter, &key, &value);
        if (key == nullptr) break;
        if (value != nullptr) dict.insert_or_assign(key, convert(value));
        std::free(key);
    }
    std::free(iter);
    return dict;
}

LooseValue convertInteger(plist_t node) {
    uint64_t raw = 0;
    plist_get_uint_val(node, &raw);
    // The library keeps every integer as 64 raw bits; values that fit a signed integer are
    // signed, the rest stay unsigned for the reader to reinterpret.
    if (raw <= uint64_t(std::numeric_limits<int64_t>::max())) return LooseValue(int64_t(raw));
    return LooseValue(raw);
}

LooseValue convert(plist_t node) {
    switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN: {
        uint8_t b = 0;
        plist_get_bool_val(node, &b);
        return LooseValue(b != 0);
    }
    case PLIST_UINT:
        return convertInteger(node);
    case PLIST_REAL: {
        double d = 0;
        plist_get_real_val(node, &d);
        return LooseValue(d);
    }
    case PLIST_STRING: {
        char* s = nullptr;
        plist_get_string_val(node, &s);
        LooseValue value(std::string(s != nullptr ? s : ""));
        std::free(s);
        return value;
    }
    case PLIST_DATE: {
        int32_t sec = 0, usec = 0;
        plist_get_date_val(node, &sec, &usec);
        return LooseValue(fromUnixSeconds(referenceDateOffset + sec + usec / 1e6));
    }
    case PLIST_DATA: {
        char* bytes = nullptr;
        uint64_t length = 0;
        plist_get_data_val(node, &bytes, &length);
        LooseData data;
        data.bytes.assign(reinterpret_cast<uint8_t*>(bytes),
                          reinterpret_cast<uint8_t*>(bytes) + length);
        std::free(bytes);
        return LooseValue(std::move(data));
    }
    case PLIST_ARRAY:
        return LooseValue(convertArray(node));
    case PLIST_DICT:
        return LooseValue(convertDictionary(node));
    case PLIST_UID: {
        uint64_t uid = 0;
        plist_get_uid_val(node, &uid);
        return LooseValue(uid);
    }
    default:
        return LooseValue(std::string());
    }
}

std::string readWholeFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        const int error = errno;
        throw FixtureError(FixtureError::Kind::readFailed,
                           "cannot read " + file.string() + ": " + std::strerror(error), error);
    }
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
        throw FixtureError(FixtureError::Kind::readFailed, "cannot read " + file.string(), EIO);
    return bytes;
}

// The description row a power-source service would give for this battery.
int64_t currentCapacityPercent(const LooseDictionary& entry) {
    const auto current = BatteryReader::integer(entry, RegistryKeys::currentCapacity);
    const auto max = BatteryReader::integer(entry, RegistryKeys::maxCapacity);
    if (!current || !max || *max < 1) return 0;
    // Up to 100 the controller already counts in percent (Apple silicon); above, in mAh.
    if (*max <= 100) return *current;
    return int64_t(static_cast<__int128>(*current) * 100 / *max);
}

} // namespace

std::optional<LooseValue> parsePropertyList(std::string_view bytes) {
    if (bytes.empty() || bytes.size() > std::numeric_limits<uint32_t>::max()) return std::nullopt;
    plist_t root = nullptr;
    plist_from_memory(bytes.data(), uint32_t(bytes.size()), &root);
    if (root == nullptr) return std::nullopt;
    std::unique_ptr<void, decltype(&plist_free)> guard(root, &plist_free);
    return convert(root);
}

FixtureBatterySource::FixtureBatterySource(LooseDictionary entry, PowerSource source)
    : entry_(std::move(entry))
    , source_(source) {}

FixtureBatterySource FixtureBatterySource::fromPlist(const std::filesystem::path& file,
                                                     PowerSource source) {
    const std::string bytes = readWholeFile(file);
    const auto root = parsePropertyList(bytes);
    if (!root)
        throw FixtureError(FixtureError::Kind::parseFailed,
                           file.string() + " is not a property list");
    if (const auto* array = root->as<LooseArray>(); array != nullptr && !array->empty()) {
        if (const auto* first = array->front().as<LooseDictionary>())
            return FixtureBatterySource(*first, source);
    } else if (const auto* dict = root->as<LooseDictionary>()) {
        return FixtureBatterySource(*dict, source);
    }
    throw FixtureError(FixtureError::Kind::corruptFile,
                       file.string() + " holds no battery controller properties");
}

std::vector<LooseDictionary> FixtureBatterySource::powerSources() const {
    const auto flag = [&](std::string_view key) {
        const auto it = entry_.find(key);
        const bool* b = it == entry_.end() ? nullptr : it->second.as<bool>();
        return b != nullptr && *b;
    };
    LooseDictionary row;
    row[PowerSourceKeys::type] = PowerSourceKeys::internalBattery;
    row[PowerSourceKeys::currentCapacity] = currentCapacityPercent(entry_);
    row[PowerSourceKeys::maxCapacity] = 100;
    row[PowerSourceKeys::isCharging] = flag(RegistryKeys::isCharging);
    row[PowerSourceKeys::isCharged] = flag(RegistryKeys::fullyCharged);
    row[PowerSourceKeys::sourceState] = std::string(
        rawValue(source_ == PowerSource::battery ? PowerSource::battery : PowerSource::ac));
    row[PowerSourceKeys::timeToEmpty] =
        BatteryReader::integer(entry_, RegistryKeys::timeRemaining).value_or(-1);
    return {row};
}

} // namespace PowerCore
