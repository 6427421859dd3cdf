#include <PowerCore/linux/MachineModel.hpp>
#include <PowerCore/linux/SysfsFile.hpp>
#include <algorithm>

namespace PowerCore {

std::string readMachineModel(const std::filesystem::path& sysfsRoot) {
    for (const auto& path :
         {sysfsRoot / "class/dmi/id/product_name", sysfsRoot / "firmware/devicetree/base/model"}) {
        auto model = Sysfs::readText(path);
        if (!model) continue;
        // Device-tree strings end in a NUL and may hold more than one.
        model->resize(std::min(model->size(), model->find('\0')));
        const std::string trimmed(Sysfs::trim(*model));
        if (!trimmed.empty()) return trimmed;
    }
    return {};
}

} // namespace PowerCore
