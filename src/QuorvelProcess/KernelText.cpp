#include <QuorvelProcess/KernelText.hpp>
#include <charconv>

namespace QuorvelProcess::KernelText {

std::string_view trim(std::string_view text) {
    const auto isSpace = [](char c) {
        return c == ' ' || c == '\n' || c == '\t' || c == '\r' || c == '\0';
    };
    while (!text.empty() && isSpace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isSpace(text.back()))
        text.remove_suffix(1);
    return text;
}

std::string validUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        const auto byte = static_cast<unsigned char>(text[i]);
        size_t length = 0;
        unsigned minimum = 0;
        if (byte < 0x80)
            length = 1;
        else if ((byte & 0xE0) == 0xC0)
            length = 2, minimum = 0x80;
        else if ((byte & 0xF0) == 0xE0)
            length = 3, minimum = 0x800;
        else if ((byte & 0xF8) == 0xF0)
            length = 4, minimum = 0x10000;
        bool valid = length != 0 && i + length <= text.size();
        unsigned codePoint = length == 1 ? byte : byte & (0x7F >> length);
        for (size_t k = 1; valid && k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            valid = (next & 0xC0) == 0x80;
            codePoint = (codePoint << 6) | (next & 0x3F);
        }
        valid = valid && codePoint >= minimum && codePoint <= 0x10FFFF &&
                !(codePoint >= 0xD800 && codePoint <= 0xDFFF);
        if (valid) {
            out.append(text.substr(i, length));
            i += length;
        } else {
            out += "\xEF\xBF\xBD";
            ++i;
        }
    }
    return out;
}

std::string boundedName(std::string_view text, size_t maxBytes) {
    constexpr std::string_view ellipsis = "\u2026";
    // Only a little more than is kept is looked at, never all of a huge name.
    auto name = validUtf8(text.substr(0, maxBytes + 4));
    if (text.size() <= maxBytes + 4 && name.size() <= maxBytes) return name;
    size_t cut = std::min(name.size(), maxBytes > ellipsis.size() ? maxBytes - ellipsis.size() : 0);
    // Back to the first byte of a character.
    while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80)
        --cut;
    name.resize(cut);
    return name.append(ellipsis);
}

std::optional<std::int64_t> parseInteger(std::string_view text) {
    text = trim(text);
    if (text.size() > 1 && text.front() == '+' && text[1] >= '0' && text[1] <= '9')
        text.remove_prefix(1);
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size() || text.empty())
        return std::nullopt;
    return value;
}

} // namespace QuorvelProcess::KernelText
