#include <PowerCore/foundation/Json.hpp>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <vector>

namespace PowerCore {

namespace {

void appendString(std::string& out, const std::string& text) {
    static constexpr char hex[] = "0123456789abcdef";
    out.push_back('"');
    for (const char c : text) {
        switch (c) {
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
            if (static_cast<unsigned char>(c) < 0x20) {
                out += "\\u00";
                out.push_back(hex[(c >> 4) & 0x0F]);
                out.push_back(hex[c & 0x0F]);
            } else {
                out.push_back(c);
            }
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
        std::vector<const std::pair<const std::string, Json>*> members;
        members.reserve(object.size());
        for (const auto& member : object.get_ref<const Json::object_t&>())
            members.push_back(&member);
        if (style_ != JsonStyle::settings)
            std::sort(members.begin(), members.end(),
                      [](auto* a, auto* b) { return a->first < b->first; });
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

std::string writeJson(const Json& document, JsonStyle style) {
    Writer writer(style);
    writer.write(document, 0);
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
