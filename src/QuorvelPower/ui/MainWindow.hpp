#pragma once

#include <PowerCore/history/Export.hpp>
#include <QDialog>
#include <QPointer>
#include <QWidget>
#include <QuorvelPower/ui/ActiveSheet.hpp>
#include <QuorvelPower/ui/ModelSignals.hpp>
#include <functional>
#include <optional>

class QLabel;
class QStackedWidget;
class QToolButton;
class QHBoxLayout;
class QTabBar;

namespace QuorvelPower {

// The main window "Quorvel Vuzur": the tab picker, the time of the last refresh, the export
// menu, the refresh button, the selected tab's screen and the one sheet the model asks for.
// Closing it never quits.
class MainWindow final : public QWidget {
public:
    // Asks where to save an export (the suggested name given); none when cancelled.
    using AskSavePath = std::function<std::optional<QString>(const QString& suggested,
                                                             PowerCore::Export::Format format)>;

    explicit MainWindow(ModelSignals& changes, AskSavePath askSavePath = {});

    void bringToFront();
    // What Ctrl+, and Ctrl+Q do: the settings window, and quitting the program.
    void setAppActions(std::function<void()> openSettings, std::function<void()> quit);
    void exportFile(PowerCore::Export::Format format);
    // The sheet on screen, if any (for snapshots and tests).
    QDialog* sheet() const { return sheet_; }
    // Each tab's screen, put in place once.
    void setScreen(Tab tab, QWidget* screen);
    // The settings window: a sheet asked for while it is the active window opens over it.
    void setOtherWindow(QWidget* other);

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void showTab();
    void showRefreshed();
    void showExport();
    void sheetsChanged();
    void syncSheet();

    void addShortcuts();
    QHBoxLayout* header();
    QToolButton* exportButton();

    AppModel& model_;
    AskSavePath askSavePath_;
    std::function<void()> openSettings_, quit_;
    QTabBar* tabs_;
    QLabel* updated_;
    QToolButton* exportButton_;
    QLabel* exporting_;
    QToolButton* cancelExport_;
    QStackedWidget* screens_;
    QPointer<QDialog> sheet_;
    QPointer<QWidget> other_;
    std::string sheetIdentity_;
    bool syncPending_ = false;
};

} // namespace QuorvelPower
