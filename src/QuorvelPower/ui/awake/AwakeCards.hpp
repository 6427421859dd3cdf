#pragma once

#include <QWidget>
#include <QuorvelPower/model/AppModel.hpp>
#include <vector>

class QCheckBox;
class QDoubleSpinBox;
class QLabel;
class QPushButton;
class QVBoxLayout;

namespace QuorvelPower {

class BigNumber;
class Card;
class Pill;

// The cards of the keep-awake tab. Each is built once; update() puts the model's values into
// its widgets and never takes the focus from the control that has it.

// "Keep awake now": the running session with its End button, or the ways to start one.
class NowCard final {
public:
    explicit NowCard(AppModel& model);
    Card* card() const { return card_; }
    void update();

private:
    QWidget* buildSession();
    QWidget* buildStart();
    void showSession(bool running);
    void updateSession(const PowerCore::ActiveSession& session);

    AppModel& model_;
    Card* card_;
    QWidget* session_;
    BigNumber* awake_;
    BigNumber* running_;
    BigNumber* ends_;
    QPushButton* end_;
    QLabel* notHeld_;
    QWidget* start_;
    QPushButton* untilOff_;
    QDoubleSpinBox* hours_;
    QCheckBox* displayOn_;
    QLabel* railsNote_;
};

// One stored rule: its switch, title, what it keeps awake, its state and its buttons.
class RuleRow final : public QWidget {
public:
    RuleRow(AppModel& model, const PowerCore::KeepAwakeRule& rule);
    const PowerCore::UUID& id() const { return rule_.id; }
    void update(const PowerCore::KeepAwakeRule& rule, size_t index);
    // The row's controls in the order Tab visits them.
    std::vector<QWidget*> controls() const;

private:
    AppModel& model_;
    PowerCore::KeepAwakeRule rule_;
    QWidget* divider_;
    QCheckBox* enabled_;
    QLabel* title_;
    QLabel* keeps_;
    Pill* state_;
    QPushButton* edit_;
    QPushButton* delete_;
    bool activeTone_ = true;
};

// "Rules": the stored rules, a row each, and the button that adds one.
class RulesCard final {
public:
    explicit RulesCard(AppModel& model);
    Card* card() const { return card_; }
    void update();

private:
    void updateRows();
    void placeRows(const std::vector<RuleRow*>& rows);

    AppModel& model_;
    QPushButton* add_;
    Card* card_;
    QLabel* none_;
    QWidget* list_;
    QVBoxLayout* listLayout_;
    std::vector<RuleRow*> rows_;
    QLabel* unreadable_;
    QLabel* loginItem_;
};

// One inhibitor in "Who is keeping this computer awake".
class InhibitorRow final : public QWidget {
public:
    InhibitorRow();
    void update(const PowerCore::AssertionRow& row, const PowerCore::Export::DateFormatter& dates);

private:
    Pill* ours_;
    QLabel* name_;
    QLabel* meaning_;
    QLabel* since_;
};

// "Who is keeping this computer awake": read-only rows, one per inhibitor, the rows made
// again only as their number changes.
class WhoCard final {
public:
    explicit WhoCard(AppModel& model);
    Card* card() const { return card_; }
    void update();

private:
    AppModel& model_;
    Card* card_;
    QWidget* list_;
    QVBoxLayout* listLayout_;
    std::vector<InhibitorRow*> rows_;
    QLabel* more_;
    QLabel* nobody_;
};

} // namespace QuorvelPower
