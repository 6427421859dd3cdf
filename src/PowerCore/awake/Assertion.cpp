#include <PowerCore/awake/Assertion.hpp>

namespace PowerCore {

std::string_view rawValue(AssertionKind kind) {
    return kind == AssertionKind::display ? "display" : "system";
}

} // namespace PowerCore
