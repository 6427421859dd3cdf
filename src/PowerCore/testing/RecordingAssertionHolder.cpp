#include <PowerCore/testing/RecordingAssertionHolder.hpp>
#include <fmt/format.h>

namespace PowerCore {

void RecordingAssertionHolder::apply(const std::optional<DesiredAssertion>& desired) {
    HoldStatus status;
    status.wanted = desired.has_value();
    const auto created = [&] {
        if (failWith) {
            // A failed create holds nothing: the next wish creates again.
            log.push_back("create failed");
            status.failure = failWith;
            return false;
        }
        ++creates;
        log.push_back(fmt::format("create {} {}", rawValue(desired->kind),
                                  static_cast<long long>(desired->timeout)));
        return true;
    };
    bool held = true;
    if (!current_ && desired) {
        held = created();
    } else if (current_ && desired && current_->kind == desired->kind &&
               current_->title == desired->title) {
        ++refreshes;
        log.push_back(fmt::format("refresh {}", static_cast<long long>(desired->timeout)));
    } else if (current_ && desired) {
        ++releases;
        log.push_back("release");
        held = created();
    } else if (current_) {
        ++releases;
        log.push_back("release");
    }
    current_ = held ? desired : std::nullopt;
    if (current_) {
        status.held = true;
        status.displayHeld = current_->kind == AssertionKind::display;
        status.service = "recording";
    }
    setStatus(std::move(status));
}

void RecordingAssertionHolder::setStatus(HoldStatus status) {
    if (status == status_) return;
    status_ = std::move(status);
    if (changed_) changed_();
}

} // namespace PowerCore
