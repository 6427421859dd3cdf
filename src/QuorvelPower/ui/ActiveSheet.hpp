#pragma once

#include <QuorvelPower/model/AppModel.hpp>
#include <optional>
#include <string>
#include <variant>

namespace QuorvelPower {

// The one sheet the main window shows, chosen from the model.
struct ActiveSheet {
    struct Rule {
        RuleDraft draft;
    };
    struct Question {
        PowerCore::ActiveSession session;
    };
    struct Delete {
        std::vector<std::string> files;
    };
    struct NoticeSheet {
        Notice notice;
    };
    struct Login {};
    std::variant<Rule, Question, Login, Delete, NoticeSheet> sheet;

    // A new identity makes the window present a new sheet.
    std::string identity() const;

    // The first that applies: a rule draft, a question not hidden in the window, the login
    // question, deletion candidates, a notice.
    static std::optional<ActiveSheet> of(const AppModel& model);
    // What closing the sheet clears, in the same order.
    static void dismiss(AppModel& model);
};

} // namespace QuorvelPower
