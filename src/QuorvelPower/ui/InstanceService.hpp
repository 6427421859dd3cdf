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

    // Takes the name. False when another copy holds it; that copy was asked to open its
    // window. Without a session bus there is no other copy to find: true.
    static bool claim();

    explicit InstanceService(std::function<void()> open);

public Q_SLOTS:
    Q_SCRIPTABLE void Open();

private:
    std::function<void()> open_;
};

} // namespace QuorvelPower
