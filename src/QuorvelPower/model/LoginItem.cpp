#include <PowerCore/foundation/PlatformWords.hpp>
#include <QuorvelPower/model/LoginItem.hpp>

namespace QuorvelPower {

std::string LoginItem::caption(Status status) {
    switch (status) {
    case Status::enabled:
        return PowerCore::platformText("Vuzur opens at login.");
    case Status::requiresApproval:
        return PowerCore::platformText(
            "Approve it in System Settings \u2192 General \u2192 Login Items.");
    case Status::notRegistered:
        break;
    case Status::notFound:
        return PowerCore::platformText("macOS cannot find this copy of Vuzur for login: move it "
                                       "to Applications and try again.");
    case Status::unavailable:
        return PowerCore::platformText("Not available in this build (no app bundle).");
    }
    return PowerCore::platformText(
        "Vuzur does not open at login. Rules only run while Vuzur is open.");
}

std::string LoginItem::unavailableText() {
    return PowerCore::platformText("No app bundle: open at login is not available in this build.");
}

} // namespace QuorvelPower
