#pragma once

#include <QWidget>
#include <QuorvelPower/LaunchOptions.hpp>
#include <QuorvelPower/ui/ModelObservers.hpp>

namespace QuorvelPower {

// The popover of the tray item: battery, thermal state, keep-awake, the question, the
// session note, and the way to the window. Rebuilt from the model whenever it changes.
class PopoverView final : public QWidget {
public:
    struct Actions {
        std::function<void(Tab)> show; // open the window on a tab, in front
        std::function<void()> quit;
    };
    static constexpr int width = 320;

    // `live`: the tray's own popover, whose showing and hiding the model hears of (a copy
    // drawn for a snapshot is not).
    PopoverView(AppModel& model, ModelObservers& observers, Actions actions, bool live);

    // Places it at the tray item where the desktop tells, else at the pointer.
    void popUp(const QRect& trayGeometry);
    void rebuild();
    // The "Keep the display on too" check, shared with the tray's menu.
    bool displayOn() const { return displayOn_; }
    void setDisplayOn(bool on);

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool event(QEvent* event) override;

private:
    void scheduleRebuild();

    AppModel& model_;
    Actions actions_;
    bool live_;
    bool displayOn_ = false;
    bool rebuildPending_ = false;
    bool stale_ = false;
    QWidget* content_ = nullptr;
    ModelObservers::Token token_;
};

} // namespace QuorvelPower
