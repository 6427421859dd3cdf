#pragma once

#include <QDialog>
#include <QuorvelPower/model/AppModel.hpp>

namespace QuorvelPower {

// The rule sheet: what a rule watches (a running app, a task, a weekly window), whether it
// keeps the display on, a summary and what it would match right now.
QDialog* makeRuleSheet(AppModel& model, const RuleDraft& draft, QWidget* window);
// The question before a session reaches its limit.
QDialog* makeCapQuestionSheet(AppModel& model, const PowerCore::ActiveSession& session,
                              QWidget* window);

} // namespace QuorvelPower
