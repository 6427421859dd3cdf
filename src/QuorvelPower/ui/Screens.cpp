#include <QApplication>
#include <QDialog>
#include <QFileInfo>
#include <QPainter>
#include <QSaveFile>
#include <QSystemTrayIcon>
#include <QuorvelPower/ui/MainWindow.hpp>
#include <QuorvelPower/ui/PopoverView.hpp>
#include <QuorvelPower/ui/Screens.hpp>
#include <QuorvelPower/ui/SettingsView.hpp>
#include <QuorvelPower/ui/Theme.hpp>
#include <QuorvelPower/ui/TrayItem.hpp>
#include <QuorvelPower/ui/apps/AppsView.hpp>
#include <QuorvelPower/ui/awake/KeepAwakeView.hpp>
#include <QuorvelPower/ui/battery/BatteryView.hpp>
#include <QuorvelPower/ui/history/HistoryView.hpp>
#include <QuorvelPower/ui/thermal/ThermalView.hpp>

namespace QuorvelPower {

namespace {

// A PNG written whole to a regular file (or a new one), never into a FIFO or a device,
// which would block or take it somewhere else: written beside the target, then renamed.
bool savePng(const QPixmap& image, const QString& path) {
    const QFileInfo target(path);
    if (target.exists() && !target.isFile()) return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    if (!image.save(&file, "PNG")) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

} // namespace

Screens::Screens(AppModel& model, std::function<void()> quit, QString version)
    : model_(model)
    , quit_(std::move(quit))
    , changes_(model) {
    qApp->setStyleSheet(Theme::styleSheet());
    qApp->installEventFilter(this);
    const PopoverView::Actions popoverActions{[this](Tab tab) { showMain(tab); },
                                              [this] { quit_(); }};
    popover_ = std::make_unique<PopoverView>(changes_, popoverActions, true);
    main_ = std::make_unique<MainWindow>(changes_);
    main_->setAppActions([this] { showSettings(); }, [this] { quit_(); });
    main_->setScreen(Tab::battery, new BatteryView(changes_));
    main_->setScreen(Tab::apps, new AppsView(changes_));
    main_->setScreen(Tab::thermal, new ThermalView(changes_));
    main_->setScreen(Tab::awake, new KeepAwakeView(changes_));
    main_->setScreen(Tab::history, new HistoryView(changes_));
    settings_ = std::make_unique<SettingsView>(changes_, std::move(version));
    main_->setOtherWindow(settings_.get());
    if (QGuiApplication::platformName() != "offscreen")
        tray_ = std::make_unique<TrayItem>(
            changes_, *popover_,
            TrayItem::Actions{[this](Tab tab) { showMain(tab); }, [this] { showSettings(); },
                              [this] { quit_(); }, [this] { noPanel(); }});
}

Screens::~Screens() = default;

void Screens::showMain(std::optional<Tab> tab) {
    if (tab && model_.tab() != *tab) model_.setTab(*tab);
    // The window first: something stays on screen throughout.
    main_->bringToFront();
    popover_->hide();
}

void Screens::showSettings() {
    popover_->hide();
    settings_->show();
    settings_->raise();
    settings_->activateWindow();
}

bool Screens::eventFilter(QObject* watched, QEvent* event) {
    // The desktop's palette changed (a switch to dark): the colours the screens hold follow.
    if (watched == qApp && event->type() == QEvent::ApplicationPaletteChange)
        Theme::followPalette();
    return QObject::eventFilter(watched, event);
}

void Screens::noPanel() {
    if (model_.options().autostart)
        model_.tellRunsInBackground();
    else
        showMain();
}

std::string Screens::onScreen() const {
    if (settings_->isVisible()) return "settings";
    if (main_->isVisible()) return std::string(rawValue(model_.tab()));
    return "";
}

void Screens::openLaunchWindows(const LaunchOptions& options) {
    if (options.openSettings)
        showSettings();
    else if (options.openTab || options.snapshotPath || options.showRuleSheet ||
             options.showCapQuestion || options.showLoginQuestion)
        showMain();
}

bool Screens::writeSnapshots(const LaunchOptions& options) {
    bool written = true;
    if (options.snapshotPath) {
        // The settings window when the options opened it, else the main window; else the
        // first window on screen.
        QWidget* wanted = options.openSettings ? static_cast<QWidget*>(settings_.get())
                                               : static_cast<QWidget*>(main_.get());
        if (!wanted->isVisible()) {
            wanted = nullptr;
            for (QWidget* window : QApplication::topLevelWidgets())
                if (window->isVisible() && window != popover_.get()) {
                    wanted = window;
                    break;
                }
        }
        QWidget* sheet = wanted == main_.get() ? main_->sheet() : nullptr;
        written = wanted != nullptr &&
                  writeWindow(*wanted, sheet, QString::fromStdString(*options.snapshotPath));
    }
    if (options.popoverSnapshotPath)
        written = writePopover(QString::fromStdString(*options.popoverSnapshotPath)) && written;
    return written;
}

bool Screens::writeWindow(QWidget& window, QWidget* sheet, const QString& path) {
    QPixmap image = window.grab();
    if (image.isNull()) return false;
    if (sheet != nullptr && sheet->isVisible()) {
        const QPixmap over = sheet->grab();
        const double scale = image.devicePixelRatio();
        QPainter painter(&image);
        painter.setCompositionMode(QPainter::CompositionMode_SourceAtop);
        painter.fillRect(QRectF(QPointF(0, 0), QSizeF(image.size()) / scale),
                         QColor(0, 0, 0, int(0.08 * 255)));
        painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
        // Where the sheet sits over the window; centred near the top when the platform
        // does not place it (offscreen).
        QPoint at = sheet->mapToGlobal(QPoint(0, 0)) - window.mapToGlobal(QPoint(0, 0));
        const QRect inside(QPoint(0, 0), window.size() - sheet->size());
        if (!inside.contains(at)) at = QPoint((window.width() - sheet->width()) / 2, 40);
        painter.drawPixmap(at, over);
    }
    return savePng(image, path);
}

bool Screens::writePopover(const QString& path) {
    // A fresh popover, drawn at twice the resolution on the window colour.
    PopoverView fresh(changes_, {[](Tab) {}, [] {}}, false);
    fresh.setAttribute(Qt::WA_DontShowOnScreen);
    fresh.show();
    fresh.adjustSize();
    QPixmap image(fresh.size() * 2);
    image.setDevicePixelRatio(2);
    image.fill(Theme::page());
    fresh.render(&image);
    fresh.hide();
    return savePng(image, path);
}

} // namespace QuorvelPower
