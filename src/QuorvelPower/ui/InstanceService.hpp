#pragma once

#include <QDBusConnection>
#include <QDBusContext>
#include <QObject>
#include <QuorvelPower/LaunchOptions.hpp>
#include <functional>
#include <optional>
#include <string>

namespace QuorvelPower {

// One running copy per session: the first takes the bus name com.quorvel.power and answers
// the requests a later launch hands over (RunningCopy): open the window on a tab or the
// settings, keep awake.
class InstanceService final : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.quorvel.power.Application")

public:
    // As RunningCopy asks for them.
    static constexpr const char* busName = "com.quorvel.power";
    static constexpr const char* objectPath = "/com/quorvel/power";

    // What the running copy does when asked.
    struct Requests {
        std::function<void(std::optional<Tab>)> open; // none: the window as it was
        std::function<void()> openSettings;
        // Starts a session; `answer` gets the line the launch that asked prints.
        std::function<void(double seconds, bool keepDisplayOn,
                           std::function<void(std::string)> answer)>
            keepAwake;
        // What is on screen: the tab the main window shows, "settings", or "" for none.
        std::function<std::string()> shown;
    };

    // Exports the object, so a launch that finds the name finds it answering too.
    explicit InstanceService(QDBusConnection bus = QDBusConnection::sessionBus());

    // Takes the name: true when this copy is the one that runs. Without a session bus, or
    // when the bus refuses for another reason, true as well.
    bool claim();
    // What the requests do.
    void setRequests(Requests requests) { requests_ = std::move(requests); }

public Q_SLOTS:
    Q_SCRIPTABLE void Open();
    // A tab's name ("battery" … "history"), or "settings".
    Q_SCRIPTABLE void OpenTab(const QString& tab);
    Q_SCRIPTABLE QString KeepAwake(double seconds, bool keepDisplayOn);
    Q_SCRIPTABLE QString Shown();

private:
    QDBusConnection bus_;
    Requests requests_;
};

} // namespace QuorvelPower
