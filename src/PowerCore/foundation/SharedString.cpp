#include <PowerCore/foundation/SharedString.hpp>
#include <ostream>
#include <utility>

namespace PowerCore {

SharedString::SharedString(std::string_view text)
    : block_(text.empty() ? nullptr : new Block{{1}, std::string(text)}) {}

SharedString::SharedString(const SharedString& other) noexcept
    : block_(other.block_) {
    // A new reference is made from one the caller holds, so no ordering is needed.
    if (block_ != nullptr) block_->references.fetch_add(1, std::memory_order_relaxed);
}

SharedString::SharedString(SharedString&& other) noexcept
    : block_(std::exchange(other.block_, nullptr)) {}

SharedString& SharedString::operator=(const SharedString& other) noexcept {
    if (this != &other) *this = SharedString(other);
    return *this;
}

SharedString& SharedString::operator=(SharedString&& other) noexcept {
    if (this != &other) {
        release();
        block_ = std::exchange(other.block_, nullptr);
    }
    return *this;
}

SharedString::~SharedString() {
    release();
}

void SharedString::release() noexcept {
    // The last owner must see every other owner's use of the text before deleting it.
    if (block_ != nullptr && block_->references.fetch_sub(1, std::memory_order_acq_rel) == 1)
        delete block_;
    block_ = nullptr;
}

const std::string& SharedString::str() const noexcept {
    static const std::string none;
    return block_ != nullptr ? block_->text : none;
}

std::ostream& operator<<(std::ostream& out, const SharedString& text) {
    return out << text.str();
}

} // namespace PowerCore
