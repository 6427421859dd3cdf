#include <PowerCore/foundation/Json.hpp>
#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <span>
#include <vector>

namespace PowerCore {

namespace {

bool plain(char c) {
    return static_cast<unsigned char>(c) >= 0x20 && c != '"' && c != '\\' && c != '/';
}

void appendString(std::string& out, const std::string& text) {
    static constexpr char hex[] = "0123456789abcdef";
    out.push_back('"');
    for (auto c = text.begin(); c != text.end(); ++c) {
        // Runs of characters that need no escape go in whole.
        const auto run = std::find_if_not(c, text.end(), plain);
        out.append(c, run);
        if (run == text.end()) break;
        c = run;
        switch (*c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '/':
            out += "\\/";
            break;
        case '\b':
            out += "\\b";
            break;
        case '\f':
            out += "\\f";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            out += "\\u00";
            out.push_back(hex[(*c >> 4) & 0x0F]);
            out.push_back(hex[*c & 0x0F]);
        }
    }
    out.push_back('"');
}

template <typename T> void appendNumber(std::string& out, T value) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr);
}

class Writer {
public:
    explicit Writer(JsonStyle style)
        : style_(style) {}

    void write(const Json& value, int depth) {
        switch (value.type()) {
        case Json::value_t::object:
            writeObject(value, depth);
            break;
        case Json::value_t::array:
            writeArray(value, depth);
            break;
        case Json::value_t::string:
            appendString(out_, value.get_ref<const std::string&>());
            break;
        case Json::value_t::boolean:
            out_ += value.get<bool>() ? "true" : "false";
            break;
        case Json::value_t::number_integer:
            appendNumber(out_, value.get<std::int64_t>());
            break;
        case Json::value_t::number_unsigned:
            appendNumber(out_, value.get<std::uint64_t>());
            break;
        case Json::value_t::number_float: {
            const double number = value.get<double>();
            if (!std::isfinite(number))
                throw JsonEncodingError("a number that is not finite cannot be written as JSON");
            appendNumber(out_, number);
            break;
        }
        case Json::value_t::null:
        case Json::value_t::discarded:
            out_ += "null";
            break;
        case Json::value_t::binary:
            throw JsonEncodingError("binary values have no JSON form");
        }
    }

    std::string take() { return std::move(out_); }

private:
    bool pretty() const { return style_ == JsonStyle::report; }

    void newline(int depth) {
        if (!pretty()) return;
        out_.push_back('\n');
        out_.append(size_t(depth) * 2, ' ');
    }

    void writeObject(const Json& object, int depth) {
        if (object.empty()) {
            out_ += "{}";
            return;
        }
        // Records have a handful of members: they are sorted on the stack.
        using Member = const std::pair<const std::string, Json>*;
        std::array<Member, 24> few{};
        std::vector<Member> many;
        std::span<Member> members;
        if (object.size() <= few.size()) {
            members = std::span(few).first(object.size());
        } else {
            many.resize(object.size());
            members = many;
        }
        size_t next = 0;
        for (const auto& member : object.get_ref<const Json::object_t&>())
            members[next++] = &member;
        if (style_ != JsonStyle::settings)
            std::sort(members.begin(), members.end(),
                      [](Member a, Member b) { return a->first < b->first; });
        out_.push_back('{');
        bool first = true;
        for (const auto* member : members) {
            if (!first) out_.push_back(',');
            first = false;
            newline(depth + 1);
            appendString(out_, member->first);
            out_ += pretty() ? " : " : ":";
            write(member->second, depth + 1);
        }
        newline(depth);
        out_.push_back('}');
    }

    void writeArray(const Json& array, int depth) {
        if (array.empty()) {
            out_ += "[]";
            return;
        }
        out_.push_back('[');
        bool first = true;
        for (const auto& element : array) {
            if (!first) out_.push_back(',');
            first = false;
            newline(depth + 1);
            write(element, depth + 1);
        }
        newline(depth);
        out_.push_back(']');
    }

    JsonStyle style_;
    std::string out_;
};

} // namespace

std::string writeJson(const Json& document, JsonStyle style, int depth) {
    Writer writer(style);
    writer.write(document, depth);
    return writer.take();
}

namespace {

// How deeply arrays and objects nest, outside strings; counting stops past `limit`.
size_t nesting(std::string_view text, size_t limit) {
    size_t depth = 0, deepest = 0;
    bool inString = false, escaped = false;
    for (const char c : text) {
        if (inString) {
            if (escaped)
                escaped = false;
            else if (c == '\\')
                escaped = true;
            else if (c == '"')
                inString = false;
            continue;
        }
        if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            deepest = std::max(deepest, ++depth);
            if (deepest > limit) return deepest;
        } else if ((c == ']' || c == '}') && depth > 0) {
            --depth;
        }
    }
    return deepest;
}

} // namespace

std::optional<Json> parseJson(std::string_view text) {
    // A document nested deeper than any of ours is no document of ours, and copying one
    // (every copy of a value recurses) would exhaust the stack.
    if (nesting(text, maximumJsonDepth) > maximumJsonDepth) return std::nullopt;
    Json document = Json::parse(text, nullptr, false);
    if (document.is_discarded()) return std::nullopt;
    return document;
}

} // namespace PowerCore
