#include <PowerCore/history/Retention.hpp>

namespace PowerCore {

namespace Retention {

std::vector<std::string> filesOlderThanWindow(const HistoryStore& store, Timestamp now,
                                              const Calendar& calendar) {
    // By date, as the store deletes them (a day whose midnight is skipped starts at 01:00).
    const auto firstKept = calendar.dayName(now, -(windowDays - 1));
    std::vector<std::string> names;
    for (const auto& file : store.dayFiles())
        if (file.name.substr(0, firstKept.size()) < firstKept) names.push_back(file.name);
    return names;
}

std::vector<std::string> deleteOlderThanWindow(const HistoryStore& store, Timestamp now) {
    return store.pruneDayFiles(windowDays, now);
}

} // namespace Retention

} // namespace PowerCore
