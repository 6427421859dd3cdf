#pragma once

#include <PowerCore/awake/AssertionList.hpp>
#include <PowerCore/linux/LiveAssertionHolder.hpp>
#include <functional>

namespace PowerCore {

// Who keeps the machine awake, from every inhibition service that answers: logind's
// inhibitors, GNOME's session manager and KDE's policy agent, in one list in the
// assertion vocabulary. GNOME and KDE name no process, so their rows carry the
// application's name; this program's own inhibition is found by what its holder holds.
// A service that is missing or fails mid-read leaves the others' rows. Blocks for at most
// a second per call that hangs: read it off the main thread.
class LiveAssertionTable final : public AssertionTable {
public:
    using Own = std::function<std::optional<OwnInhibition>()>;
    explicit LiveAssertionTable(Own own);

    std::vector<AssertionRow> read(const AssertionList::NameForPID& nameForPID,
                                   std::int32_t ownPID) const override;

private:
    Own own_;
};

} // namespace PowerCore
