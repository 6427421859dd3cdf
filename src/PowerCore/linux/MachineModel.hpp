#pragma once

#include <filesystem>
#include <string>

namespace PowerCore {

// The machine's model identifier ("MacBookPro14,1", "20QDCTO1WW"): the DMI product name,
// else the device-tree model (ARM machines, Apple silicon); empty when neither exists.
std::string readMachineModel(const std::filesystem::path& sysfsRoot);

} // namespace PowerCore
