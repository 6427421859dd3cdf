#pragma once

#include <atomic>
#include <iosfwd>
#include <string>
#include <string_view>

namespace PowerCore {

// An immutable string whose copies share one allocation behind a single pointer. A year of
// history holds millions of application names drawn from a few hundred distinct ones;
// decoding gives every copy of a name the same text (see HistoryDecoder), so the loaded
// history costs a pointer per name. Copies may be used and dropped on any thread.
class SharedString {
public:
    SharedString() noexcept = default;
    SharedString(std::string_view text);
    SharedString(const std::string& text)
        : SharedString(std::string_view(text)) {}
    SharedString(const char* text)
        : SharedString(std::string_view(text)) {}

    SharedString(const SharedString& other) noexcept;
    SharedString(SharedString&& other) noexcept;
    SharedString& operator=(const SharedString& other) noexcept;
    SharedString& operator=(SharedString&& other) noexcept;
    ~SharedString();

    const std::string& str() const noexcept;
    operator const std::string&() const noexcept { return str(); }
    operator std::string_view() const noexcept { return str(); }
    bool empty() const noexcept { return block_ == nullptr; }

    // True when both share one text (equal strings need not).
    bool sharesTextWith(const SharedString& other) const noexcept { return block_ == other.block_; }

    friend bool operator==(const SharedString& a, const SharedString& b) noexcept {
        return a.block_ == b.block_ || a.str() == b.str();
    }
    // One overload per kind of text, so that none needs a conversion.
    friend bool operator==(const SharedString& a, std::string_view b) noexcept {
        return a.str() == b;
    }
    friend bool operator==(const SharedString& a, const std::string& b) noexcept {
        return a.str() == b;
    }
    friend bool operator==(const SharedString& a, const char* b) noexcept { return a.str() == b; }

private:
    struct Block {
        std::atomic<std::size_t> references;
        const std::string text;
    };
    void release() noexcept;
    Block* block_ = nullptr; // none for the empty string
};

std::ostream& operator<<(std::ostream& out, const SharedString& text);

} // namespace PowerCore
