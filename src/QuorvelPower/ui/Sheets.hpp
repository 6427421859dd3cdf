#pragma once

#include <QDialog>
#include <QuorvelPower/ui/ActiveSheet.hpp>

namespace QuorvelPower {

// The window-modal dialog of one sheet: the notice, the deletion of older history, the
// question about opening at login, and for now simple forms of the rule sheet and the
// limit question. Closing it by Escape or the window's close button is a dismissal.
QDialog* makeSheet(const ActiveSheet& sheet, AppModel& model, QWidget* window);

} // namespace QuorvelPower
