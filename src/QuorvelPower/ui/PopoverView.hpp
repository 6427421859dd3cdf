#pragma once

#include <QElapsedTimer>
#include <QWidget>
#include <QuorvelPower/LaunchOptions.hpp>
#include <QuorvelPower/ui/ModelSignals.hpp>

namespace QuorvelPower {

// The popover of the tray item: battery, thermal state, keep-awake, the question, the
// session note, and the way to the window. Rebuilt from the model whenever it changes.
class PopoverView final : public QWidget {
    Q_OBJECT

public:
    struct Actions {
        std::function<void(Tab)> show; // open the window on a tab, in front
        std::function<void()> quit;
    };
    static constexpr int width = 320;

    // `live`: the tray's own popover, whose showing and hiding the model hears of (a copy
    // drawn for a snapshot is not).
    PopoverView(ModelSignals& changes, Actions actions, bool live);

    // Places it at the tray item where the desktop tells, else at the pointer (a Wayland
    // compositor places it where it likes).
    void popUp(const QRect& trayGeometry);
    // Hidden a moment ago: the click on the tray item that closed it by landing outside it
    // must not open it again.
    bool justHidden() const;
    void rebuild();
    // The "Keep the display on too" check, shared with the tray's menu.
    bool displayOn() const { return displayOn_; }
    void setDisplayOn(bool on);

Q_SIGNALS:
    void displayOnChanged();

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
    QElapsedTimer hidden_;
    QWidget* content_ = nullptr;
};

} // namespace QuorvelPower
