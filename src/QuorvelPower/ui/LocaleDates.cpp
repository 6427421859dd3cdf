#include <QDate>
#include <QTime>
#include <QuorvelPower/ui/LocaleDates.hpp>

namespace QuorvelPower {

using namespace PowerCore;

LocaleDates::LocaleDates(Calendar calendar, QLocale locale)
    : calendar_(std::move(calendar))
    , locale_(std::move(locale))
    , plain_(locale_.language() == QLocale::C) {}

QDate LocaleDates::date(Timestamp time) const {
    return QDate::fromString(QString::fromStdString(calendar_.dayName(time)), Qt::ISODate);
}

QTime LocaleDates::time(Timestamp time) const {
    const auto sinceMinute = std::chrono::duration_cast<std::chrono::seconds>(
        time.time_since_epoch() % std::chrono::minutes(1));
    return QTime(calendar_.hour(time), calendar_.minute(time),
                 int((sinceMinute.count() + 60) % 60));
}

QString LocaleDates::timeFormat(bool seconds) const {
    QString format = plain_ ? QString("HH:mm") : locale_.timeFormat(QLocale::ShortFormat);
    // The locale's short form with the seconds after its minutes ("h:mm AP" to "h:mm:ss AP").
    if (seconds && !format.contains("ss")) {
        const auto minutes = format.indexOf("mm");
        if (minutes >= 0) format.insert(minutes + 2, ":ss");
    }
    return format;
}

std::string LocaleDates::longDateShortTime(Timestamp time) const {
    if (plain_) return Export::PlainDateFormatter(calendar_).longDateShortTime(time);
    return longDate(time) + " " + shortTime(time);
}

std::string LocaleDates::longDate(Timestamp time) const {
    if (plain_) return Export::PlainDateFormatter(calendar_).longDate(time);
    return locale_.toString(date(time), QLocale::LongFormat).toStdString();
}

std::string LocaleDates::abbreviatedDateShortTime(Timestamp time) const {
    return locale_.toString(date(time), QLocale::ShortFormat).toStdString() + ", " +
           shortTime(time);
}

std::string LocaleDates::shortTime(Timestamp time) const {
    return locale_.toString(this->time(time), timeFormat(false)).toStdString();
}

std::string LocaleDates::timeWithSeconds(Timestamp time) const {
    return locale_.toString(this->time(time), timeFormat(true)).toStdString();
}

std::string LocaleDates::shortDate(const std::string& dayName) const {
    const QDate day = QDate::fromString(QString::fromStdString(dayName), Qt::ISODate);
    return day.isValid() ? locale_.toString(day, QLocale::ShortFormat).toStdString() : dayName;
}

} // namespace QuorvelPower
