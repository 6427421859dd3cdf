#pragma once

#include <QWidget>
#include <QuorvelPower/ui/ModelSignals.hpp>

class QCheckBox;
class QLabel;
class QSpinBox;

namespace QuorvelPower {

class Card;

// The settings window: the guard rails and opening at login, the history's size and the
// deletion of older days, the alert switches, and what Vuzur is.
class SettingsView final : public QWidget {
public:
    SettingsView(ModelSignals& changes, QString version);

    // The history's size as a person reads it ("12.4 MB").
    static QString byteCount(std::uint64_t bytes);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void update();
    QWidget* awakeCard();
    QWidget* historyCard();
    QWidget* alertsCard();
    // The threshold's stepper and the note under the switches.
    void bindAlerts(Card* alerts);
    QWidget* aboutCard(const QString& version);
    void alertChanged(bool switchedOn, PowerCore::AlertSettings settings);

    AppModel& model_;
    QSpinBox *floor_, *cap_, *threshold_;
    QCheckBox *login_, *health_, *cycles_, *throttling_, *app_, *session_;
    QLabel *loginCaption_, *historySize_;
    bool updating_ = false;
};

} // namespace QuorvelPower
