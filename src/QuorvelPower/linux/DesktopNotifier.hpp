#pragma once

#include <PowerCore/foundation/Scheduler.hpp>
#include <QuorvelPower/model/Notifier.hpp>
#include <chrono>

namespace QuorvelPower {

// Notifications through the session's notification server (org.freedesktop.Notifications).
// The desktop asks the user nothing: permission is granted when a server answers
// GetServerInformation and denied when none does. Each call runs on the scheduler's
// worker with a connection of its own and answers on the main thread within `bound`; a
// server that never answers is a false, not a hung program.
class DesktopNotifier final : public Notifier {
public:
    static constexpr std::string_view appName = "Quorvel Vuzur";
    static constexpr std::string_view desktopEntry = "com.quorvel.power";

    explicit DesktopNotifier(PowerCore::Scheduler& scheduler,
                             std::chrono::milliseconds bound = std::chrono::seconds(5));

    void requestPermission(Answer answer) override;
    void post(const PowerCore::Alert& alert, Answer answer) override;

private:
    void run(std::function<bool()> work, Answer answer);
    PowerCore::Scheduler& scheduler_;
    std::chrono::milliseconds bound_;
};

} // namespace QuorvelPower
