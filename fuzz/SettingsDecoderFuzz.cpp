// Arbitrary bytes as the settings file: parsed as the store parses it, then every setting
// decoded as the program decodes it. Besides crashes and sanitizer reports (a deep document
// once exhausted the stack) it checks that what decodes writes back and decodes the same.
#include <PowerCore/alerts/AlertEngine.hpp>
#include <PowerCore/awake/KeepAwakeEngine.hpp>
#include <PowerCore/awake/Rules.hpp>
#include <cstdint>
#include <cstdlib>

using namespace PowerCore;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto document = parseJson(text);
    if (!document || !document->is_object()) return 0;
    // A copy, as the store makes one when it writes a key.
    const Json copy = *document;
    if (const auto it = copy.find("keepAwakeRules"); it != copy.end()) {
        const auto rules = decodeEachRule(*it);
        if (decodeEachRule(toJson(rules.rules)).rules != rules.rules) std::abort();
        for (const auto& rule : rules.rules)
            if (!withRule(*it, rule)) std::abort();
    }
    if (const auto it = copy.find("guardRails"); it != copy.end())
        if (const auto rails = guardRailsFromJson(*it))
            if (guardRailsFromJson(toJson(*rails)) != rails) std::abort();
    if (const auto it = copy.find("alertSettings"); it != copy.end())
        if (const auto settings = alertSettingsFromJson(*it))
            if (alertSettingsFromJson(toJson(*settings)) != settings) std::abort();
    try {
        (void)writeJson(copy, JsonStyle::settings);
    } catch (const JsonEncodingError&) {
    }
    return 0;
}
