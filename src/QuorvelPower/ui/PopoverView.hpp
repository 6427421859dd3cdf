#pragma once

#include <QElapsedTimer>
#include <QWidget>
#include <QuorvelPower/LaunchOptions.hpp>
#include <QuorvelPower/ui/ModelSignals.hpp>
#include <QuorvelPower/ui/PopoverParts.hpp>

namespace QuorvelPower {

// The popover of the tray item: battery, thermal state, keep-awake, the question, the
// session note, and the way to the window. Built once; a change of the model shows and
// hides its pieces and gives them new texts (once per turn of the event loop), so a refresh
// leaves the keyboard focus where it is.
class PopoverView final : public QWidget {
    Q_OBJECT

public:
    struct Actions {
        std::function<void(Tab)> show; // open the window on a tab, in front
        std::function<void()> quit;
    };
    static constexpr int width = 320;

    // `live`: the tray's own popover, whose showing and hiding the model hears of, and
    // which is brought up to date only while it shows (a copy drawn for a snapshot is not).
    PopoverView(ModelSignals& changes, Actions actions, bool live);

    // Places it at the tray item where the desktop tells, else at the pointer (a Wayland
    // compositor places it where it likes).
    void popUp(const QRect& trayGeometry);
    // Hidden a moment ago: the click on the tray item that closed it by landing outside it
    // must not open it again.
    bool justHidden() const;
    // The "Keep the display on too" check, shared with the tray's menu.
    bool displayOn() const { return displayOn_; }
    void setDisplayOn(bool on);
    // How many times it was brought up to date.
    int updates() const { return updates_; }

Q_SIGNALS:
    void displayOnChanged();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool event(QEvent* event) override;

private:
    void connectControls();
    void changed();
    // Puts the model's values into the pieces.
    void bringUpToDate();
    void showSessionOrStart();
    void swapBlocks(Popover::Block& coming, Popover::Block& leaving, QWidget* focusInstead);

    AppModel& model_;
    Actions actions_;
    bool live_;
    bool displayOn_ = false;
    bool pending_ = false;
    bool stale_ = false;
    int updates_ = 0;
    QElapsedTimer hidden_;
    // Top to bottom, in the order of the keyboard focus.
    QVBoxLayout* column_;
    Popover::Header header_;
    Popover::Lines lines_;
    Popover::SessionBlock session_;
    Popover::StartBlock start_;
    Popover::QuestionBlock question_;
    Popover::NoteRow note_;
    Popover::Footer footer_;
};

} // namespace QuorvelPower
