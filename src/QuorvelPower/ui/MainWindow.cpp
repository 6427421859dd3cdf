#include <QDialog>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QShortcut>
#include <QShowEvent>
#include <QStackedWidget>
#include <QTabBar>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <QuorvelPower/ui/Icons.hpp>
#include <QuorvelPower/ui/MainWindow.hpp>
#include <QuorvelPower/ui/PopoverTexts.hpp>
#include <QuorvelPower/ui/Sheets.hpp>
#include <QuorvelPower/ui/Theme.hpp>
#include <array>

namespace QuorvelPower {

using PowerCore::Export::Format;

namespace {

struct TabItem {
    Tab tab;
    const char* title;
    const char* symbol;
};

constexpr std::array tabItems{
    TabItem{Tab::battery, "Battery", "battery.75percent"},
    TabItem{Tab::apps, "Apps", "app.badge"},
    TabItem{Tab::thermal, "Thermal", "thermometer.medium"},
    TabItem{Tab::awake, "Keep Awake", "cup.and.saucer"},
    TabItem{Tab::history, "History", "clock.arrow.circlepath"},
};

int indexOf(Tab tab) {
    for (size_t i = 0; i < tabItems.size(); ++i)
        if (tabItems[i].tab == tab) return int(i);
    return 0;
}

std::optional<QString> askWithDialog(QWidget* parent, const QString& suggested, Format format) {
    const char* filter = format == Format::markdown ? "Markdown (*.md)"
                         : format == Format::json   ? "JSON (*.json)"
                                                    : "CSV (*.csv)";
    const QString path = QFileDialog::getSaveFileName(parent, "Export", suggested, filter);
    if (path.isEmpty()) return std::nullopt;
    return path;
}

// A button of the window's header; its tip is what screen readers describe it by.
QToolButton* toolButton(const char* name, const QString& tip) {
    auto* button = new QToolButton;
    button->setObjectName(name);
    button->setToolTip(tip);
    button->setAccessibleDescription(tip);
    return button;
}

} // namespace

MainWindow::MainWindow(ModelSignals& changes, AskSavePath askSavePath)
    : model_(changes.model())
    , askSavePath_(std::move(askSavePath)) {
    setObjectName("mainWindow");
    setWindowTitle("Quorvel Vuzur");
    setMinimumSize(760, 500);
    resize(980, 700);
    setAutoFillBackground(true);
    if (!askSavePath_)
        askSavePath_ = [this](const QString& suggested, Format format) {
            return askWithDialog(this, suggested, format);
        };
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addLayout(header());
    column->addWidget(divider());
    screens_ = new QStackedWidget;
    for (const auto& item : tabItems) {
        auto* placeholder = plainLabel(item.title);
        placeholder->setObjectName(QString("screen-") +
                                   QString::fromUtf8(rawValue(item.tab).data()));
        placeholder->setAlignment(Qt::AlignCenter);
        screens_->addWidget(placeholder);
    }
    screens_->setCurrentIndex(indexOf(model_.tab()));
    column->addWidget(screens_, 1);
    connect(&changes, &ModelSignals::window, this, &MainWindow::showTab);
    connect(&changes, &ModelSignals::refresh, this, &MainWindow::showRefreshed);
    connect(&changes, &ModelSignals::exporting, this, &MainWindow::showExport);
    connect(&changes, &ModelSignals::sheets, this, &MainWindow::sheetsChanged);
    showRefreshed();
    showExport();
    addShortcuts();
}

QHBoxLayout* MainWindow::header() {
    auto* header = new QHBoxLayout;
    header->setContentsMargins(20, 12, 20, 12);
    tabs_ = new QTabBar;
    tabs_->setObjectName("tabPicker");
    tabs_->setAccessibleName("Tabs");
    tabs_->setMaximumWidth(560);
    tabs_->setExpanding(false);
    tabs_->setDrawBase(false);
    for (const auto& item : tabItems) {
        const int index = tabs_->addTab(symbol(item.symbol), item.title);
        tabs_->setTabToolTip(index, QString("%1 (Ctrl+%2)").arg(item.title).arg(index + 1));
    }
    tabs_->setCurrentIndex(indexOf(model_.tab()));
    connect(tabs_, &QTabBar::currentChanged, this, [this](int index) {
        if (index >= 0 && index < int(tabItems.size())) model_.setTab(tabItems[size_t(index)].tab);
    });
    header->addWidget(tabs_);
    header->addStretch();
    updated_ = plainLabel();
    updated_->setObjectName("updated");
    updated_->setFont(captionFont());
    Theme::setSecondary(updated_);
    header->addWidget(updated_);
    header->addWidget(exportButton_ = exportButton());
    // While an export writes: how far it is, and a way to stop it.
    exporting_ = plainLabel();
    exporting_->setObjectName("exportProgress");
    exporting_->setFont(captionFont());
    exporting_->setContentsMargins(12, 0, 6, 0);
    header->addWidget(exporting_);
    cancelExport_ = toolButton("cancelExport", "Stop the export; no file is left behind");
    cancelExport_->setText("Cancel");
    connect(cancelExport_, &QToolButton::clicked, this, [this] { model_.cancelExport(); });
    header->addWidget(cancelExport_);
    auto* refresh = toolButton("refresh", "Refresh now");
    refresh->setIcon(symbol("arrow.clockwise"));
    refresh->setAccessibleName("Refresh");
    connect(refresh, &QToolButton::clicked, this, [this] { model_.refresh(); });
    header->addWidget(refresh);
    return header;
}

QToolButton* MainWindow::exportButton() {
    auto* button = toolButton("export", "Save a battery report or the history as a file");
    button->setText("Export");
    button->setIcon(symbol("square.and.arrow.up"));
    button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    button->setPopupMode(QToolButton::InstantPopup);
    auto* menu = new QMenu(button);
    const auto addExport = [&](const char* title, const char* name, Format format) {
        auto* action = menu->addAction(title);
        action->setObjectName(name);
        connect(action, &QAction::triggered, this, [this, format] { exportFile(format); });
    };
    addExport("Battery report (Markdown)\u2026", "exportMarkdown", Format::markdown);
    addExport("History (JSON)\u2026", "exportJson", Format::json);
    addExport("History (CSV)\u2026", "exportCsv", Format::csv);
    button->setMenu(menu);
    return button;
}

void MainWindow::setScreen(Tab tab, QWidget* screen) {
    const int index = indexOf(tab);
    QWidget* old = screens_->widget(index);
    screens_->insertWidget(index, screen);
    screens_->removeWidget(old);
    delete old;
    screens_->setCurrentIndex(indexOf(model_.tab()));
}

void MainWindow::showTab() {
    const int index = indexOf(model_.tab());
    if (screens_->currentIndex() == index) return;
    tabs_->setCurrentIndex(index);
    screens_->setCurrentIndex(index);
    if (model_.tab() == Tab::history && isVisible()) model_.loadHistory();
}

void MainWindow::showRefreshed() {
    const auto& last = model_.lastRefresh();
    updated_->setText(last ? "Updated " + toQString(model_.dates()->timeWithSeconds(*last))
                           : QString());
}

void MainWindow::showExport() {
    const auto& progress = model_.exportProgress();
    exportButton_->setVisible(!progress);
    exporting_->setVisible(progress.has_value());
    cancelExport_->setVisible(progress.has_value());
    if (progress) exporting_->setText(QString("Exporting\u2026 %1 %").arg(int(*progress * 100)));
}

void MainWindow::sheetsChanged() {
    if (syncPending_) return;
    syncPending_ = true;
    QTimer::singleShot(0, this, [this] {
        syncPending_ = false;
        syncSheet();
    });
}

void MainWindow::syncSheet() {
    const auto wanted = ActiveSheet::of(model_);
    const std::string identity = wanted ? wanted->identity() : std::string();
    if (identity == sheetIdentity_ && (sheet_ || !wanted)) return;
    if (sheet_) {
        // Closed because the model moved on: not a dismissal.
        QDialog* old = sheet_;
        sheet_ = nullptr;
        old->disconnect(this);
        old->hide();
        old->deleteLater();
    }
    sheetIdentity_ = identity;
    if (!wanted) return;
    // Over the other window where the person works in it (the settings' delete button);
    // otherwise over this one: a sheet asked for from elsewhere (the tray) brings the window
    // up, and its showing opens the sheet.
    QWidget* host = other_ && other_->isActiveWindow() ? other_.data() : this;
    if (host == this && !isVisible()) {
        sheetIdentity_.clear();
        bringToFront();
        return;
    }
    sheet_ = makeSheet(*wanted, model_, host);
    // Escape or the close button: the sheet is dismissed as the model's order says.
    connect(sheet_, &QDialog::rejected, this, [this] { ActiveSheet::dismiss(model_); });
    sheet_->open();
}

void MainWindow::setOtherWindow(QWidget* other) {
    other_ = other;
}

void MainWindow::exportFile(Format format) {
    // The file first: the export is written on a worker, the window stays responsive.
    const auto path = askSavePath_(toQString(model_.exportName(format)), format);
    if (!path) return;
    model_.startExport(format, QFile::encodeName(*path).toStdString());
}

void MainWindow::setAppActions(std::function<void()> openSettings, std::function<void()> quit) {
    openSettings_ = std::move(openSettings);
    quit_ = std::move(quit);
}

void MainWindow::addShortcuts() {
    const auto add = [this](const QKeySequence& keys, std::function<void()> act) {
        auto* shortcut = new QShortcut(keys, this);
        connect(shortcut, &QShortcut::activated, this, std::move(act));
    };
    for (size_t i = 0; i < tabItems.size(); ++i)
        add(QKeySequence(Qt::CTRL | Qt::Key(Qt::Key_1 + int(i))),
            [this, tab = tabItems[i].tab] { model_.setTab(tab); });
    add(QKeySequence(Qt::CTRL | Qt::Key_R), [this] { model_.refresh(); });
    add(QKeySequence(Qt::CTRL | Qt::Key_E), [this] {
        if (exportButton_->isEnabled() && !model_.exportProgress()) exportButton_->showMenu();
    });
    add(QKeySequence(Qt::CTRL | Qt::Key_Comma), [this] {
        if (openSettings_) openSettings_();
    });
    add(QKeySequence(Qt::CTRL | Qt::Key_W), [this] { close(); });
    add(QKeySequence(Qt::CTRL | Qt::Key_Q), [this] {
        if (quit_) quit_();
    });
}

void MainWindow::bringToFront() {
    setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    show();
    raise();
    activateWindow();
}

void MainWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // A window restored from the dock was never closed: nothing changes.
    if (event->spontaneous()) return;
    model_.setWindowOpen(true);
    model_.setVisible(true);
    if (model_.tab() == Tab::history) model_.loadHistory();
    sheetIdentity_.clear();
    syncSheet();
}

void MainWindow::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    // Minimised is not closed.
    if (event->spontaneous()) return;
    model_.setWindowOpen(false);
    model_.setVisible(false);
}

} // namespace QuorvelPower
