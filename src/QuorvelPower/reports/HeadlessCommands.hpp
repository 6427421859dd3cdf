#pragma once

#include <PowerCore/foundation/Json.hpp>
#include <QuorvelPower/Services.hpp>
#include <optional>
#include <span>
#include <string>

namespace QuorvelPower {

// The command-line reports: each prints one JSON document and ends the process with
// status 0, before anything of the application exists.
class HeadlessCommands {
public:
    enum class Report { battery, apps, sensors, smcKeys };

    // The services must outlive the commands.
    explicit HeadlessCommands(const Services& services);

    // The first report flag present, in the fixed order battery, apps, sensors, SMC keys.
    static std::optional<Report> requestedReport(std::span<const std::string> arguments);

    // Sampling interval of the application-power report, in seconds: 5 unless
    // "--apps-json-interval" gives a number, which is clamped to 1...60.
    static double appsInterval(std::span<const std::string> arguments);

    // The bytes a report prints (the document and one line feed); no value when the
    // arguments ask for no report.
    std::optional<std::string> output(std::span<const std::string> arguments) const;

    // Prints the requested report and exits the process; returns when none is requested.
    void runIfRequested(std::span<const std::string> arguments) const;

    PowerCore::Json battery() const;
    PowerCore::Json sensors() const;
    // Samples the processes, waits `interval` seconds, samples again and ranks the
    // applications of that stretch.
    PowerCore::Json apps(double interval) const;
    PowerCore::Json smcKeys() const;

private:
    const Services& services_;
};

} // namespace QuorvelPower
