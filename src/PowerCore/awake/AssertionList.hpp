#pragma once

#include <PowerCore/foundation/LooseValue.hpp>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace PowerCore {

// One inhibition (power assertion) held by one process.
struct AssertionRow {
    std::int32_t pid = 0;
    std::string processName;
    std::string type; // "PreventUserIdleSystemSleep", ...; "?" when unknown
    std::string name;
    std::optional<Timestamp> since;
    bool isPower = false; // held by this program

    std::string id() const;
    bool keepsAwake() const;
    std::string meaning() const;
    bool operator==(const AssertionRow&) const = default;
};

namespace AssertionList {

using NameForPID = std::function<std::optional<std::string>(std::int32_t)>;

// The platform's table: each process (a key: integer, number or decimal string) mapped to a
// list of assertion dictionaries ("AssertType", "AssertName", "AssertStartTimeStamp").
using PlatformTable = std::vector<std::pair<LooseValue, LooseValue>>;

// Rows sorted: this program's first, then by process name, then by type.
std::vector<AssertionRow> read(const std::optional<PlatformTable>& table,
                               const NameForPID& nameForPID, std::int32_t ownPID);

// The list's order: this program's rows first, then by process name, then by type; rows
// equal in all three keep their order.
void sortRows(std::vector<AssertionRow>& rows);

// A decimal 32-bit pid with an optional sign and nothing else.
std::optional<std::int32_t> parsePID(std::string_view text);

} // namespace AssertionList

// Where the application reads the list from: the platform's services, or a recorded table.
class AssertionTable {
public:
    virtual ~AssertionTable() = default;
    virtual std::vector<AssertionRow> read(const AssertionList::NameForPID& nameForPID,
                                           std::int32_t ownPID) const = 0;
};

} // namespace PowerCore
