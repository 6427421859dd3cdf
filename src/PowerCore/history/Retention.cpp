#include <PowerCore/history/Retention.hpp>

namespace PowerCore {

namespace Retention {

std::vector<std::string> filesOlderThanWindow(const HistoryStore& store, Timestamp now,
                                              const Calendar& calendar) {
    const auto cutoff = calendar.addingDays(-(windowDays - 1), calendar.startOfDay(now));
    std::vector<std::string> names;
    for (const auto& file : store.dayFiles())
        if (file.day < cutoff) names.push_back(file.name);
    return names;
}

std::vector<std::string> deleteOlderThanWindow(const HistoryStore& store, Timestamp now) {
    return store.pruneDayFiles(windowDays, now);
}

} // namespace Retention

} // namespace PowerCore
