#include <PowerCore/history/HistoryRecords.hpp>
#include <QuorvelProcess/KernelText.hpp>
#include <algorithm>
#include <climits>
#include <cstring>
#include <limits>
#include <simdjson.h>
#include <unordered_map>

namespace PowerCore {

static_assert(PaddedText::padding >= simdjson::SIMDJSON_PADDING);

namespace {

using simdjson::dom::element;
using simdjson::dom::element_type;
using simdjson::dom::object;

template <typename T> void putOptional(Json& json, const char* key, const std::optional<T>& v) {
    if (v) json[key] = *v;
}

// Field readers: a missing key leaves the field absent and succeeds; a key of the wrong
// type fails the record, as a strict decoder would.
bool readInteger(element value, std::optional<std::int64_t>& out) {
    std::int64_t i = 0;
    std::uint64_t u = 0;
    if (value.type() == element_type::INT64 && value.get_int64().get(i) == simdjson::SUCCESS) {
        out = i;
        return true;
    }
    if (value.type() == element_type::UINT64 && value.get_uint64().get(u) == simdjson::SUCCESS &&
        u <= std::uint64_t(std::numeric_limits<std::int64_t>::max())) {
        out = std::int64_t(u);
        return true;
    }
    return false;
}

bool readNumber(element value, std::optional<double>& out) {
    double d = 0;
    if (!value.is_number() || value.get_double().get(d) != simdjson::SUCCESS) return false;
    out = d;
    return true;
}

bool readString(element value, std::optional<std::string>& out) {
    std::string_view s;
    if (value.get_string().get(s) != simdjson::SUCCESS) return false;
    out = std::string(s);
    return true;
}

bool readTime(element value, std::optional<Timestamp>& out) {
    std::string_view s;
    if (value.get_string().get(s) != simdjson::SUCCESS) return false;
    out = parseISO8601(s);
    return out.has_value();
}

template <typename T, typename Read>
bool readOptional(object fields, std::string_view key, std::optional<T>& out, Read read) {
    element value;
    if (fields.at_key(key).get(value) != simdjson::SUCCESS) return true;
    return read(value, out);
}

template <typename T, typename Read>
bool readRequired(object fields, std::string_view key, std::optional<T>& out, Read read) {
    element value;
    if (fields.at_key(key).get(value) != simdjson::SUCCESS) return false;
    return read(value, out);
}

std::optional<BatterySnapshot::Battery> decodeBattery(element value) {
    object fields;
    if (value.get_object().get(fields) != simdjson::SUCCESS) return std::nullopt;
    std::optional<std::int64_t> charge;
    std::optional<std::string> state;
    if (!readRequired(fields, "chargePercent", charge, readInteger) ||
        !readRequired(fields, "state", state, readString))
        return std::nullopt;
    const auto parsedState = chargeStateFromRaw(*state);
    if (!parsedState) return std::nullopt;
    BatterySnapshot::Battery b;
    b.chargePercent = *charge;
    b.state = *parsedState;
    const bool ok =
        readOptional(fields, "timeRemainingMinutes", b.timeRemainingMinutes, readInteger) &&
        readOptional(fields, "cycleCount", b.cycleCount, readInteger) &&
        readOptional(fields, "designCapacitymAh", b.designCapacitymAh, readInteger) &&
        readOptional(fields, "fullChargeCapacitymAh", b.fullChargeCapacitymAh, readInteger) &&
        readOptional(fields, "currentCapacitymAh", b.currentCapacitymAh, readInteger) &&
        readOptional(fields, "maximumCapacityPercent", b.maximumCapacityPercent, readInteger) &&
        readOptional(fields, "condition", b.condition, readString) &&
        readOptional(fields, "temperatureCelsius", b.temperatureCelsius, readNumber) &&
        readOptional(fields, "voltageMillivolts", b.voltageMillivolts, readInteger) &&
        readOptional(fields, "currentMilliamps", b.currentMilliamps, readInteger);
    if (!ok) return std::nullopt;
    return b;
}

std::optional<BatterySnapshot> decodeSnapshot(element value) {
    object fields;
    if (value.get_object().get(fields) != simdjson::SUCCESS) return std::nullopt;
    std::optional<Timestamp> time;
    std::optional<std::string> source;
    if (!readRequired(fields, "time", time, readTime) ||
        !readRequired(fields, "source", source, readString))
        return std::nullopt;
    const auto parsedSource = powerSourceFromRaw(*source);
    if (!parsedSource) return std::nullopt;
    BatterySnapshot snapshot{*time, *parsedSource, std::nullopt};
    element battery;
    if (fields.at_key("battery").get(battery) == simdjson::SUCCESS) {
        snapshot.battery = decodeBattery(battery);
        if (!snapshot.battery) return std::nullopt;
    }
    return snapshot;
}

std::optional<ThermalEpisode> decodeEpisode(element value) {
    object fields;
    if (value.get_object().get(fields) != simdjson::SUCCESS) return std::nullopt;
    std::optional<Timestamp> start, end;
    std::optional<std::int64_t> worst, lowest;
    simdjson::dom::array apps;
    if (!readRequired(fields, "start", start, readTime) ||
        !readRequired(fields, "worstState", worst, readInteger) || *worst < 0 || *worst > 3 ||
        !readOptional(fields, "end", end, readTime) ||
        !readOptional(fields, "lowestSpeedLimit", lowest, readInteger) ||
        fields.at_key("topApps").get_array().get(apps) != simdjson::SUCCESS)
        return std::nullopt;
    if (lowest &&
        (*lowest < std::numeric_limits<int>::min() || *lowest > std::numeric_limits<int>::max()))
        return std::nullopt;
    ThermalEpisode episode{*start, end, ThermalLevel(*worst), std::nullopt, {}};
    if (lowest) episode.lowestSpeedLimit = int(*lowest);
    for (element app : apps) {
        std::optional<std::string> name;
        if (!readString(app, name)) return std::nullopt;
        // Days written before names were kept short may hold 128 KiB ones.
        episode.topApps.push_back(name->size() > QuorvelProcess::KernelText::nameBytes
                                      ? QuorvelProcess::KernelText::boundedName(*name)
                                      : std::move(*name));
    }
    return episode;
}

// Gives every copy of a name one shared text. A decoder that lives long forgets its names
// now and then rather than holding every name it ever saw.
class NameTable {
public:
    SharedString operator()(std::string_view name) {
        // Days written before names were kept short may hold 128 KiB ones.
        std::string bounded;
        if (name.size() > QuorvelProcess::KernelText::nameBytes) {
            bounded = QuorvelProcess::KernelText::boundedName(name);
            name = bounded;
        }
        if (const auto found = names_.find(name); found != names_.end()) return found->second;
        if (names_.size() >= limit) names_.clear();
        SharedString shared(name);
        names_.emplace(shared.str(), shared); // the key views the shared text itself
        return shared;
    }

private:
    static constexpr size_t limit = 4096; // far more applications than a machine runs
    std::unordered_map<std::string_view, SharedString> names_;
};

std::optional<AppReading> decodeReading(element value, NameTable& names) {
    object fields;
    if (value.get_object().get(fields) != simdjson::SUCCESS) return std::nullopt;
    element nameValue;
    std::string_view name;
    std::optional<double> cpu, wakeups;
    AppReading reading;
    if (fields.at_key("name").get(nameValue) != simdjson::SUCCESS ||
        nameValue.get_string().get(name) != simdjson::SUCCESS ||
        !readRequired(fields, "cpuSeconds", cpu, readNumber) ||
        !readRequired(fields, "idleWakeups", wakeups, readNumber) ||
        !readOptional(fields, "share", reading.share, readNumber) ||
        !readOptional(fields, "gpuSeconds", reading.gpuSeconds, readNumber))
        return std::nullopt;
    reading.name = names(name);
    reading.cpuSeconds = *cpu;
    reading.idleWakeups = *wakeups;
    return reading;
}

std::optional<AppsLine> decodeApps(element value, NameTable& names) {
    object fields;
    if (value.get_object().get(fields) != simdjson::SUCCESS) return std::nullopt;
    std::optional<Timestamp> time;
    std::optional<std::int64_t> notMeasured;
    simdjson::dom::array readings;
    if (!readRequired(fields, "time", time, readTime) ||
        !readRequired(fields, "notMeasured", notMeasured, readInteger) ||
        fields.at_key("readings").get_array().get(readings) != simdjson::SUCCESS)
        return std::nullopt;
    AppsLine line{*time, {}, *notMeasured};
    if (!readOptional(fields, "seconds", line.seconds, readNumber)) return std::nullopt;
    line.readings.reserve(readings.size());
    for (element r : readings) {
        auto reading = decodeReading(r, names);
        if (!reading) return std::nullopt;
        line.readings.push_back(std::move(*reading));
    }
    return line;
}

// The payload of "battery" and "episode" sits under "_0".
template <typename Decode> auto decodeUnlabelled(element value, Decode decode) {
    element payload;
    object fields;
    using Result = decltype(decode(payload));
    if (value.get_object().get(fields) != simdjson::SUCCESS ||
        fields.at_key("_0").get(payload) != simdjson::SUCCESS)
        return Result{};
    return decode(payload);
}

std::variant<HistoryLine, HistoryDecodingError> decodeLineElement(element value, NameTable& names) {
    const HistoryDecodingError malformed{
        "The data couldn't be read because it isn't in the correct format."};
    object fields;
    if (value.get_object().get(fields) != simdjson::SUCCESS) return malformed;
    std::string_view caseName;
    element payload;
    int cases = 0;
    for (const auto field : fields) {
        if (field.key == "battery" || field.key == "apps" || field.key == "episode") {
            ++cases;
            caseName = field.key;
            payload = field.value;
        }
    }
    if (cases != 1) return HistoryDecodingError{std::string(wrongKeyCountMessage)};
    if (caseName == "battery") {
        if (auto snapshot = decodeUnlabelled(payload, decodeSnapshot))
            return HistoryLine{std::move(*snapshot)};
    } else if (caseName == "apps") {
        if (auto apps = decodeApps(payload, names)) return HistoryLine{std::move(*apps)};
    } else if (auto episode = decodeUnlabelled(payload, decodeEpisode)) {
        return HistoryLine{std::move(*episode)};
    }
    return malformed;
}

std::optional<DailyHealthPoint> decodeHealthElement(element value) {
    object fields;
    if (value.get_object().get(fields) != simdjson::SUCCESS) return std::nullopt;
    std::optional<std::string> day;
    DailyHealthPoint point;
    if (!readRequired(fields, "day", day, readString) ||
        !readOptional(fields, "fullChargeCapacitymAh", point.fullChargeCapacitymAh, readInteger) ||
        !readOptional(fields, "designCapacitymAh", point.designCapacitymAh, readInteger) ||
        !readOptional(fields, "cycleCount", point.cycleCount, readInteger) ||
        !readOptional(fields, "maximumCapacityPercent", point.maximumCapacityPercent, readInteger))
        return std::nullopt;
    point.day = std::move(*day);
    return point;
}

// Calls `use` with each non-empty piece between line feeds, until it returns false.
template <typename Use> void forEachLine(std::string_view text, Use use) {
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        if (end > start && !use(text.substr(start, end - start))) return;
        start = end + 1;
    }
}

} // namespace

Timestamp HistoryLine::time() const {
    return std::visit(
        [](const auto& r) -> Timestamp {
            using T = std::decay_t<decltype(r)>;
            if constexpr (std::is_same_v<T, ThermalEpisode>)
                return r.start;
            else
                return r.time;
        },
        record);
}

DailyHealthPoint DailyHealthPoint::of(std::string day, const BatterySnapshot::Battery& battery) {
    return {std::move(day), battery.fullChargeCapacitymAh, battery.designCapacitymAh,
            battery.cycleCount, battery.maximumCapacityPercent};
}

Json toJson(const AppReading& reading) {
    Json json = Json::object();
    json.get_ref<Json::object_t&>().reserve(5); // a year's export writes two million of them
    json["name"] = reading.name.str();
    json["cpuSeconds"] = reading.cpuSeconds;
    json["idleWakeups"] = reading.idleWakeups;
    putOptional(json, "share", reading.share);
    putOptional(json, "gpuSeconds", reading.gpuSeconds);
    return json;
}

Json toJson(const HistoryLine& line) {
    Json json = Json::object();
    std::visit(
        [&](const auto& r) {
            using T = std::decay_t<decltype(r)>;
            if constexpr (std::is_same_v<T, BatterySnapshot>) {
                json["battery"] = Json::object({{"_0", toJson(r)}});
            } else if constexpr (std::is_same_v<T, ThermalEpisode>) {
                json["episode"] = Json::object({{"_0", toJson(r)}});
            } else {
                Json readings = Json::array();
                readings.get_ref<Json::array_t&>().reserve(r.readings.size());
                for (const auto& reading : r.readings)
                    readings.push_back(toJson(reading));
                json["apps"] = Json::object({{"notMeasured", r.notMeasured},
                                             {"readings", std::move(readings)},
                                             {"time", formatISO8601(r.time)}});
                putOptional(json["apps"], "seconds", r.seconds);
            }
        },
        line.record);
    return json;
}

Json toJson(const DailyHealthPoint& point) {
    Json json = Json::object();
    json["day"] = point.day;
    putOptional(json, "fullChargeCapacitymAh", point.fullChargeCapacitymAh);
    putOptional(json, "designCapacitymAh", point.designCapacitymAh);
    putOptional(json, "cycleCount", point.cycleCount);
    putOptional(json, "maximumCapacityPercent", point.maximumCapacityPercent);
    return json;
}

std::string encodeLine(const HistoryLine& line) {
    return writeJson(toJson(line), JsonStyle::historyLine) + '\n';
}

std::string encodeLine(const DailyHealthPoint& point) {
    return writeJson(toJson(point), JsonStyle::historyLine) + '\n';
}

std::optional<PaddedText> PaddedText::readFile(const OpenHistoryFolder& folder,
                                               const std::string& name) {
    PaddedText text;
    if (!text.load(folder, name)) return std::nullopt;
    return text;
}

bool PaddedText::load(const OpenHistoryFolder& folder, const std::string& name) {
    return folder.read(name, bytes, padding, maximumFileBytes);
}

size_t PaddedText::lineCountBound() const {
    // A line too short to hold any record (an empty one above all) never decodes, so it
    // takes no slot: a file of line feeds costs nothing.
    size_t lines = 0;
    const char* at = bytes.data();
    const char* const end = at + bytes.size();
    while (const void* found = std::memchr(at, '\n', size_t(end - at))) {
        const auto* feed = static_cast<const char*>(found);
        if (size_t(feed - at) >= shortestRecordBytes) ++lines;
        at = feed + 1;
    }
    return lines + (size_t(end - at) >= shortestRecordBytes ? 1 : 0);
}

void PaddedText::truncate(size_t length) {
    if (length < bytes.size()) bytes.resize(length);
}

PaddedText PaddedText::of(std::string_view text) {
    PaddedText padded;
    padded.bytes.reserve(text.size() + padding);
    padded.bytes.assign(text);
    return padded;
}

struct HistoryDecoder::Impl {
    simdjson::dom::parser parser;
    NameTable names;

    // Parses a piece that has at least `padding` readable bytes after it.
    std::optional<element> parsePadded(std::string_view piece) {
        element root;
        if (parser.parse(piece.data(), piece.size(), false).get(root) != simdjson::SUCCESS)
            return std::nullopt;
        return root;
    }
    std::optional<element> parse(std::string_view piece) {
        element root;
        if (parser.parse(piece.data(), piece.size(), true).get(root) != simdjson::SUCCESS)
            return std::nullopt;
        return root;
    }
};

HistoryDecoder::HistoryDecoder()
    : impl_(std::make_unique<Impl>()) {}
HistoryDecoder::~HistoryDecoder() = default;

std::variant<HistoryLine, HistoryDecodingError> HistoryDecoder::line(std::string_view json) {
    const auto root = impl_->parse(json);
    if (!root)
        return HistoryDecodingError{"The data couldn't be read because it isn't valid JSON."};
    return decodeLineElement(*root, impl_->names);
}

std::optional<DailyHealthPoint> HistoryDecoder::healthPoint(std::string_view json) {
    const auto root = impl_->parse(json);
    return root ? decodeHealthElement(*root) : std::nullopt;
}

template <typename Use> void HistoryDecoder::forEachDecodedLine(const PaddedText& file, Use use) {
    forEachLine(file.bytes, [&](std::string_view piece) {
        const auto root = impl_->parsePadded(piece);
        if (!root) return true;
        auto decoded = decodeLineElement(*root, impl_->names);
        auto* line = std::get_if<HistoryLine>(&decoded);
        return line == nullptr || use(std::move(*line));
    });
}

static_assert(sizeof(ChargeSample) == 8);

Timestamp ChargeSample::time() const {
    return Timestamp(std::chrono::seconds(seconds));
}

ChargeSample ChargeSample::of(const BatterySnapshot& snapshot) {
    const auto percent = snapshot.battery ? snapshot.battery->chargePercent : 0;
    const auto seconds =
        std::chrono::floor<std::chrono::seconds>(snapshot.time).time_since_epoch().count();
    ChargeSample sample;
    sample.seconds = std::uint32_t(std::clamp<std::int64_t>(seconds, 0, UINT32_MAX));
    sample.percent = std::int16_t(std::clamp<std::int64_t>(percent, INT16_MIN, INT16_MAX));
    sample.source = snapshot.source;
    return sample;
}

void HistoryDecoder::appendCompact(const PaddedText& file, CompactHistory& out, bool times) {
    constexpr std::string_view appsStart = "{\"apps\":";
    const auto earlier = [&](Timestamp time) {
        if (!out.firstLine || time < *out.firstLine) out.firstLine = time;
    };
    forEachLine(file.bytes, [&](std::string_view piece) {
        // As this program writes them, application lines start so; one written by hand in
        // another shape is parsed like any other line.
        if (!times && piece.starts_with(appsStart)) return true;
        const auto root = impl_->parsePadded(piece);
        if (!root) return true;
        auto decoded = decodeLineElement(*root, impl_->names);
        const auto* line = std::get_if<HistoryLine>(&decoded);
        if (line == nullptr) return true;
        if (times) earlier(line->time());
        if (const auto* snapshot = std::get_if<BatterySnapshot>(&line->record)) {
            if (snapshot->battery) out.charge.push_back(ChargeSample::of(*snapshot));
        } else if (const auto* episode = std::get_if<ThermalEpisode>(&line->record)) {
            out.episodes.push_back(*episode);
        }
        return true;
    });
}

void HistoryDecoder::appendLines(const PaddedText& file, std::vector<HistoryLine>& out) {
    forEachDecodedLine(file, [&](HistoryLine&& line) {
        out.push_back(std::move(line));
        return true;
    });
}

size_t HistoryDecoder::decodeLines(const PaddedText& file, std::span<HistoryLine> slots) {
    size_t written = 0;
    if (slots.empty()) return 0;
    forEachDecodedLine(file, [&](HistoryLine&& line) {
        slots[written++] = std::move(line);
        return written < slots.size();
    });
    return written;
}

std::vector<DailyHealthPoint> HistoryDecoder::healthPoints(const PaddedText& file) {
    std::vector<DailyHealthPoint> points;
    forEachLine(file.bytes, [&](std::string_view piece) {
        if (const auto root = impl_->parsePadded(piece))
            if (auto point = decodeHealthElement(*root)) points.push_back(std::move(*point));
        return true;
    });
    return points;
}

std::optional<HistoryDecoder::ExportDocument>
HistoryDecoder::exportDocument(std::string_view json) {
    const auto root = impl_->parse(json);
    object fields;
    simdjson::dom::array daily, lines;
    std::optional<Timestamp> generatedAt;
    if (!root || root->get_object().get(fields) != simdjson::SUCCESS ||
        !readRequired(fields, "generatedAt", generatedAt, readTime) ||
        fields.at_key("dailyHealth").get_array().get(daily) != simdjson::SUCCESS ||
        fields.at_key("lines").get_array().get(lines) != simdjson::SUCCESS)
        return std::nullopt;
    ExportDocument document{*generatedAt, {}, {}};
    for (element point : daily) {
        auto decoded = decodeHealthElement(point);
        if (!decoded) return std::nullopt;
        document.dailyHealth.push_back(std::move(*decoded));
    }
    for (element line : lines) {
        auto decoded = decodeLineElement(line, impl_->names);
        auto* historyLine = std::get_if<HistoryLine>(&decoded);
        if (historyLine == nullptr) return std::nullopt;
        document.lines.push_back(std::move(*historyLine));
    }
    return document;
}

} // namespace PowerCore
