// Arbitrary bytes as a day file, a daily-health file and single lines. Besides crashes and
// sanitizer reports it checks one property: whatever decodes encodes again and decodes to
// the same record.
#include <PowerCore/history/HistoryRecords.hpp>
#include <cstdint>
#include <cstdlib>

using namespace PowerCore;

namespace {

template <typename T, typename Decode> void checkRoundTrip(const T& record, Decode decode) {
    std::string text;
    try {
        text = encodeLine(record);
    } catch (const JsonEncodingError&) {
        return; // a decoded record never holds a non-finite number, but stay honest
    }
    if (decode(text) != record) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    static HistoryDecoder decoder;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto padded = PaddedText::of(text);

    std::vector<HistoryLine> lines;
    decoder.appendLines(padded, lines);
    for (const auto& line : lines)
        checkRoundTrip(line, [](const std::string& encoded) {
            HistoryDecoder again;
            auto decoded = again.line(encoded);
            return std::get<HistoryLine>(decoded);
        });
    for (const auto& point : decoder.healthPoints(padded))
        checkRoundTrip(point, [](const std::string& encoded) {
            HistoryDecoder again;
            return *again.healthPoint(encoded);
        });
    decoder.line(text);
    decoder.healthPoint(text);
    decoder.exportDocument(text);
    return 0;
}
