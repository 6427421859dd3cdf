#include <PowerCore/testing/RecordingAssertionHolder.hpp>
#include <fmt/format.h>

namespace PowerCore {

void RecordingAssertionHolder::apply(const std::optional<DesiredAssertion>& desired) {
    const auto created = [&] {
        ++creates;
        log.push_back(fmt::format("create {} {}", rawValue(desired->kind),
                                  static_cast<long long>(desired->timeout)));
    };
    if (!current_ && desired) {
        created();
    } else if (current_ && desired && current_->kind == desired->kind &&
               current_->title == desired->title) {
        ++refreshes;
        log.push_back(fmt::format("refresh {}", static_cast<long long>(desired->timeout)));
    } else if (current_ && desired) {
        ++releases;
        log.push_back("release");
        created();
    } else if (current_) {
        ++releases;
        log.push_back("release");
    }
    current_ = desired;
}

} // namespace PowerCore
