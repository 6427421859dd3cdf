#pragma once

#include <QObject>
#include <QuorvelPower/LaunchOptions.hpp>
#include <QuorvelPower/ui/ModelSignals.hpp>
#include <memory>

namespace QuorvelPower {

class MainWindow;
class PopoverView;
class SettingsView;
class TrayItem;

// Everything the person sees: the tray item with its popover, the main window and the
// settings window, made once and shown on demand; the launch window logic and the
// snapshots of the launch options.
class Screens final : public QObject {
public:
    Screens(AppModel& model, std::function<void()> quit, QString version);
    ~Screens() override;

    void showMain(std::optional<Tab> tab = std::nullopt);
    void showSettings();
    // What a person sees: "settings", the main window's tab, or "" with neither open.
    std::string onScreen() const;
    // At launch: the settings or the main window when the options ask for one.
    void openLaunchWindows(const LaunchOptions& options);
    // The snapshots of --snapshot and --snapshot-popover; false when one was not written.
    bool writeSnapshots(const LaunchOptions& options);

    MainWindow& mainWindow() { return *main_; }
    SettingsView& settings() { return *settings_; }
    PopoverView& popover() { return *popover_; }
    TrayItem* tray() { return tray_.get(); }

    // A window as a PNG, with its open sheet dimmed over it at its place.
    static bool writeWindow(QWidget& window, QWidget* sheet, const QString& path);
    bool writePopover(const QString& path);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // No panel shows the tray item: the window, unless started at login.
    void noPanel();

    AppModel& model_;
    std::function<void()> quit_;
    ModelSignals changes_;
    std::unique_ptr<PopoverView> popover_;
    std::unique_ptr<MainWindow> main_;
    std::unique_ptr<SettingsView> settings_;
    std::unique_ptr<TrayItem> tray_;
};

} // namespace QuorvelPower
