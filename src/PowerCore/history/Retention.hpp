#pragma once

#include <PowerCore/history/HistoryStore.hpp>
#include <string>
#include <vector>

namespace PowerCore {

// Deleting older history keeps a window of 7 days.
namespace Retention {
inline constexpr int windowDays = 7;
std::vector<std::string> filesOlderThanWindow(const HistoryStore& store, Timestamp now,
                                              const Calendar& calendar);
std::vector<std::string> deleteOlderThanWindow(const HistoryStore& store, Timestamp now);
} // namespace Retention

} // namespace PowerCore
