#include <PowerCore/smc/SMCKeyData.hpp>
#include <algorithm>

namespace PowerCore {

std::vector<std::uint8_t> SMCKeyData::payload(long count) const {
    const auto n = size_t(std::clamp<long>(count, 0, long(bytes.size())));
    return {bytes.begin(), bytes.begin() + long(n)};
}

} // namespace PowerCore
