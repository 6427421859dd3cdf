#include <QuorvelProcess/KernelText.hpp>
#include <QuorvelProcess/ProcFiles.hpp>
#include <algorithm>
#include <climits>

namespace QuorvelProcess::ProcFiles {

std::optional<std::uint64_t> parseUnsigned(std::string_view text) {
    const auto value = KernelText::parseInteger(text);
    if (!value || *value < 0) return std::nullopt;
    return std::uint64_t(*value);
}

std::vector<std::string_view> fields(std::string_view line) {
    std::vector<std::string_view> out;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
            ++i;
        const size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t')
            ++i;
        if (i > start) out.push_back(line.substr(start, i - start));
    }
    return out;
}

std::optional<Stat> parseStat(std::string_view text) {
    // "pid (comm) state ppid ...": the name may hold spaces, parentheses and newlines, so
    // it runs from the first "(" to the last ")".
    const size_t open = text.find('(');
    const size_t close = text.rfind(')');
    if (open == std::string_view::npos || close == std::string_view::npos || close < open)
        return std::nullopt;
    Stat stat;
    stat.comm = std::string(text.substr(open + 1, close - open - 1));
    const auto rest = fields(text.substr(close + 1));
    // After the name: state(3) ppid(4) ... flags(9) ... utime(14) stime(15) ...
    // starttime(22).
    if (rest.size() < 20 || rest[0].size() != 1) return std::nullopt;
    constexpr std::uint64_t kernelThreadFlag = 0x00200000; // PF_KTHREAD, include/linux/sched.h
    stat.kernelThread = (parseUnsigned(rest[6]).value_or(0) & kernelThreadFlag) != 0;
    stat.state = rest[0][0];
    const auto ppid = KernelText::parseInteger(rest[1]);
    const auto utime = parseUnsigned(rest[11]);
    const auto stime = parseUnsigned(rest[12]);
    const auto start = parseUnsigned(rest[19]);
    if (!ppid || !utime || !stime || !start) return std::nullopt;
    stat.ppid = std::int32_t(*ppid);
    stat.utimeTicks = *utime;
    stat.stimeTicks = *stime;
    stat.startTicks = *start;
    return stat;
}

std::optional<std::uint64_t> statusNumber(std::string_view status, std::string_view key) {
    size_t at = 0;
    while (at < status.size()) {
        const size_t end = std::min(status.find('\n', at), status.size());
        const auto line = status.substr(at, end - at);
        if (line.size() > key.size() && line.starts_with(key) && line[key.size()] == ':') {
            const auto values = fields(line.substr(key.size() + 1));
            return values.empty() ? std::nullopt : parseUnsigned(values[0]);
        }
        at = end + 1;
    }
    return std::nullopt;
}

std::optional<std::uint32_t> parseEffectiveUid(std::string_view status) {
    // "Uid:\treal\teffective\tsaved\tfs"
    const auto at = status.find("\nUid:");
    if (at == std::string_view::npos) return std::nullopt;
    const auto end = status.find('\n', at + 1);
    const auto values = fields(status.substr(at + 5, end - at - 5));
    if (values.size() < 2) return std::nullopt;
    const auto uid = parseUnsigned(values[1]);
    if (!uid || *uid > UINT32_MAX) return std::nullopt;
    return std::uint32_t(*uid);
}

std::uint32_t runState(char state) {
    switch (state) {
    case 'R':
        return 2;
    case 'S':
    case 'D':
    case 'I':
    case 'W':
    case 'P':
        return 3;
    case 'T':
    case 't':
        return 4;
    case 'Z':
    case 'X':
        return 5;
    default:
        return 0;
    }
}

} // namespace QuorvelProcess::ProcFiles
