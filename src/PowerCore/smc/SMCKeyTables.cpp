#include <PowerCore/foundation/RawValueTable.hpp>
#include <PowerCore/smc/SMCKeyTables.hpp>
#include <array>

namespace PowerCore {

namespace {

constexpr RawValueTable<SensorFamily, 5> familyNames{{
    {SensorFamily::cpu, "cpu"},
    {SensorFamily::gpu, "gpu"},
    {SensorFamily::ssd, "ssd"},
    {SensorFamily::fan, "fan"},
    {SensorFamily::systemPower, "systemPower"},
}};

SMCKeyTable makeIMac21() {
    SMCKeyTable table;
    table.modelPrefix = "iMac21,";
    table.verified = false;
    for (const char* stem : {"Tp2", "Tp3", "Tp4", "Tp5", "Tp7", "Tp8", "Tp9", "Te0", "Te3", "Tc0",
                             "Tc1", "Tc2", "Tc3", "Tc4", "Tc5", "Tc6", "Tc7", "Tc8", "Tc9", "Tca"})
        for (const char suffix : {'a', 'b', 'x', 'z'})
            table.cpu.push_back(stem + std::string(1, suffix));
    table.gpu = {"Tg1b", "Tg4b"};
    table.ssd = {"TH0x"};
    table.fans = {{"F0Ac", "F0Mn", "F0Mx"}};
    table.systemPower = "PSTR";
    return table;
}

} // namespace

std::string_view rawValue(SensorFamily family) {
    return rawValueIn(familyNames, family);
}

std::optional<SensorFamily> sensorFamilyFromRaw(std::string_view raw) {
    return caseNamed(familyNames, raw);
}

std::vector<std::string> SMCKeyTable::allKeys() const {
    std::vector<std::string> keys;
    keys.insert(keys.end(), cpu.begin(), cpu.end());
    keys.insert(keys.end(), gpu.begin(), gpu.end());
    keys.insert(keys.end(), ssd.begin(), ssd.end());
    for (const auto& fan : fans)
        keys.insert(keys.end(), {fan.actual, fan.minimum, fan.maximum});
    if (systemPower) keys.push_back(*systemPower);
    return keys;
}

namespace SMCKeyTables {

const SMCKeyTable& iMac21() {
    static const SMCKeyTable table = makeIMac21();
    return table;
}

const std::vector<SMCKeyTable>& all() {
    static const std::vector<SMCKeyTable> tables{iMac21()};
    return tables;
}

std::optional<SMCKeyTable> table(std::string_view model, bool allowUnverifiedTables) {
    for (const auto& candidate : all())
        if (model.starts_with(candidate.modelPrefix) &&
            (candidate.verified || allowUnverifiedTables))
            return candidate;
    return std::nullopt;
}

} // namespace SMCKeyTables

} // namespace PowerCore
