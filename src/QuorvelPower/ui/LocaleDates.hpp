#pragma once

#include <PowerCore/history/Export.hpp>
#include <QLocale>

namespace QuorvelPower {

// Dates and times as the user's locale writes them, in a calendar's zone: the one formatter of
// the screens, the exports and the model's texts. A locale with no conventions of its own (C,
// POSIX) writes "14 Mar 2025" and a 24-hour "09:26".
class LocaleDates final : public PowerCore::Export::DateFormatter {
public:
    explicit LocaleDates(PowerCore::Calendar calendar, QLocale locale = QLocale());
    std::string longDateShortTime(PowerCore::Timestamp time) const override;
    std::string longDate(PowerCore::Timestamp time) const override;
    std::string abbreviatedDateShortTime(PowerCore::Timestamp time) const override;
    std::string shortTime(PowerCore::Timestamp time) const override;
    std::string timeWithSeconds(PowerCore::Timestamp time) const override;
    std::string shortDate(const std::string& dayName) const override;

private:
    QDate date(PowerCore::Timestamp time) const;
    QTime time(PowerCore::Timestamp time) const;
    QString timeFormat(bool seconds) const;

    PowerCore::Calendar calendar_;
    QLocale locale_;
    bool plain_; // the C locale: written as the plain formatter writes
};

} // namespace QuorvelPower
