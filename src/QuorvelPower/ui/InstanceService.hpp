#pragma once

#include <QObject>
#include <functional>

namespace QuorvelPower {

// One running copy per session: the first takes the bus name com.quorvel.power, a second
// launch asks it to open its window and ends.
class InstanceService final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.quorvel.power.Application")

public:
    static constexpr const char* busName = "com.quorvel.power";
    static constexpr const char* objectPath = "/com/quorvel/power";

    // Exports the object, so a launch that finds the name finds it answering too.
    InstanceService();

    // Takes the name. False when another copy holds it and opened its window on our asking.
    // Without a session bus, or when the bus refuses for another reason, true: this copy
    // runs.
    bool claim();
    // What Open does; an Open that came before is done now.
    void setOpen(std::function<void()> open);

public Q_SLOTS:
    Q_SCRIPTABLE void Open();

private:
    std::function<void()> open_;
    bool openAsked_ = false;
};

} // namespace QuorvelPower
