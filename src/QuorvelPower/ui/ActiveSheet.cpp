#include <QuorvelPower/ui/ActiveSheet.hpp>
#include <cmath>
#include <fmt/format.h>

namespace QuorvelPower {

namespace {

std::string upper(std::string text) {
    for (auto& c : text)
        if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    return text;
}

template <class... Ts> struct Overloaded : Ts... { using Ts::operator()...; };
template <class... Ts> Overloaded(Ts...) -> Overloaded<Ts...>;

} // namespace

std::string ActiveSheet::identity() const {
    return std::visit(
        Overloaded{
            [](const Rule& r) {
                return "rule-" + (r.draft.id ? upper(r.draft.id->string()) : std::string("new"));
            },
            [](const Question& q) {
                const double seconds =
                    std::chrono::duration<double>(q.session.startedAt.time_since_epoch()).count();
                return "question-" + fmt::format("{}", seconds);
            },
            [](const Login&) { return std::string("login"); },
            [](const Delete&) { return std::string("delete"); },
            [](const NoticeSheet& n) { return "notice-" + n.notice.id.string(); },
        },
        sheet);
}

std::optional<ActiveSheet> ActiveSheet::of(const AppModel& model) {
    if (model.ruleDraft()) return ActiveSheet{Rule{*model.ruleDraft()}};
    if (model.pendingQuestion() && !model.questionHiddenInWindow())
        return ActiveSheet{Question{*model.pendingQuestion()}};
    if (model.loginQuestionPending()) return ActiveSheet{Login{}};
    if (model.deleteCandidates()) return ActiveSheet{Delete{*model.deleteCandidates()}};
    if (model.notice()) return ActiveSheet{NoticeSheet{*model.notice()}};
    return std::nullopt;
}

void ActiveSheet::dismiss(AppModel& model) {
    if (model.ruleDraft())
        model.setRuleDraft(std::nullopt);
    else if (model.pendingQuestion() && !model.questionHiddenInWindow())
        model.setQuestionHiddenInWindow(true);
    else if (model.loginQuestionPending())
        model.answerLoginQuestion(false);
    else if (model.deleteCandidates())
        model.setDeleteCandidates(std::nullopt);
    else
        model.setNotice(std::nullopt);
}

} // namespace QuorvelPower
