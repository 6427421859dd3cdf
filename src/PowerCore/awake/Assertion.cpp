#include <PowerCore/awake/Assertion.hpp>

namespace PowerCore {

std::string_view rawValue(AssertionKind kind) {
    return kind == AssertionKind::display ? "display" : "system";
}

std::string_view describe(HoldFailure failure) {
    switch (failure) {
    case HoldFailure::noService:
        return "no service to ask";
    case HoldFailure::refused:
        return "the system refused";
    case HoldFailure::noAnswer:
        break;
    }
    return "no answer from the desktop";
}

} // namespace PowerCore
