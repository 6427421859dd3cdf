#include <PowerCore/foundation/PlatformWords.hpp>
#include <PowerCore/history/Retention.hpp>
#include <QCheckBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollArea>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>
#include <QuorvelPower/ui/SettingsView.hpp>
#include <QuorvelPower/ui/Stepper.hpp>
#include <QuorvelPower/ui/Theme.hpp>
#include <QuorvelPower/ui/Widgets.hpp>
#include <climits>
#include <optional>

namespace QuorvelPower {

namespace {

QLabel* note(const QString& text) {
    auto* label = plainLabel(text);
    label->setWordWrap(true);
    label->setFont(captionFont());
    Theme::setSecondary(label);
    return label;
}

QSpinBox* stepper(const char* name, int low, int high, int step, const QString& prefix,
                  const QString& suffix, const QString& description) {
    auto* box = new Stepper<QSpinBox>;
    box->describe(prefix.trimmed().remove(QRegularExpression(":$")), description);
    box->setObjectName(name);
    box->setRange(low, high);
    box->setSingleStep(step);
    box->setPrefix(prefix);
    box->setSuffix(suffix);
    box->setKeyboardTracking(false);
    return box;
}

QCheckBox* toggle(const char* name, const QString& description) {
    auto* box = new QCheckBox;
    box->setObjectName(name);
    box->setAccessibleDescription(description);
    return box;
}

} // namespace

QString SettingsView::byteCount(std::uint64_t bytes) {
    const qint64 capped = bytes > std::uint64_t(LLONG_MAX) ? LLONG_MAX : qint64(bytes);
    return QLocale::c().formattedDataSize(capped, 1, QLocale::DataSizeSIFormat);
}

SettingsView::SettingsView(ModelSignals& changes, QString version)
    : model_(changes.model()) {
    setObjectName("settings");
    setWindowTitle("Settings");
    setFixedWidth(600);
    setAutoFillBackground(true);
    // The page scrolls where the screen is shorter than it (a 768-pixel laptop).
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* scroll = new QScrollArea;
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    outer->addWidget(scroll);
    auto* content = new QWidget;
    scroll->setWidget(content);
    auto* page = new QVBoxLayout(content);
    page->setContentsMargins(20, 20, 20, 20);
    page->setSpacing(14);
    page->addWidget(awakeCard());
    page->addWidget(historyCard());
    page->addWidget(alertsCard());
    page->addWidget(aboutCard(version));
    page->addStretch();
    connect(&changes, &ModelSignals::settings, this, &SettingsView::update);
    connect(&changes, &ModelSignals::history, this, &SettingsView::update);
    update();
    // As tall as what it holds at its width, as far as the screen allows.
    int height = page->hasHeightForWidth() ? page->heightForWidth(600) : page->sizeHint().height();
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        height = std::min(height, screen->availableGeometry().height() - 60);
    resize(600, height);
}

QWidget* SettingsView::awakeCard() {
    auto* awake = new Card("Keep awake");
    floor_ = stepper("batteryFloor", 5, 50, 5, "Stop at ", " % on battery",
                     "A keep-awake session or rule lets the computer sleep at this charge");
    connect(floor_, &QSpinBox::valueChanged, this, [this](int value) {
        if (updating_) return;
        auto rails = model_.rails();
        rails.batteryFloorPercent = value;
        model_.setRails(rails);
    });
    cap_ = stepper("durationCap", 1, 24, 1, "Ask after ", " h",
                   "A session asks whether to go on after this many hours");
    connect(cap_, &QSpinBox::valueChanged, this, [this](int hours) {
        if (updating_) return;
        auto rails = model_.rails();
        rails.durationCap = hours * 3600.0;
        model_.setRails(rails);
    });
    login_ = toggle("openAtLogin", "Rules only run while Vuzur is open");
    login_->setText("Open Quorvel Vuzur at login");
    connect(login_, &QCheckBox::clicked, this, [this](bool on) { model_.setOpenAtLogin(on); });
    loginCaption_ = note({});
    loginCaption_->setObjectName("loginCaption");
    awake->body()->addWidget(floor_);
    awake->body()->addWidget(cap_);
    awake->body()->addWidget(login_);
    awake->body()->addWidget(loginCaption_);
    return awake;
}

QWidget* SettingsView::historyCard() {
    auto* history = new Card("History");
    historySize_ = plainLabel();
    historySize_->setObjectName("historySize");
    auto* remove = new QPushButton("Delete older than 7 days\u2026");
    remove->setObjectName("deleteOlder");
    remove->setAccessibleDescription("Asks first, then deletes the day files older than a week");
    connect(remove, &QPushButton::clicked, this, [this] { model_.askDeleteOlderHistory(); });
    auto* row = new QHBoxLayout;
    row->addWidget(historySize_);
    row->addStretch();
    row->addWidget(remove);
    history->body()->addLayout(row);
    return history;
}

QWidget* SettingsView::alertsCard() {
    auto* alerts = new Card("Alerts");
    health_ = toggle("alertHealth", "A notification when the health falls under the threshold");
    threshold_ = stepper("healthThreshold", 50, 95, 5, "Health threshold: ", " %",
                         "The health under which the alert speaks");
    cycles_ = toggle("alertCycles", "A notification at 500 and at 1,000 cycles");
    cycles_->setText("Cycle milestones (500 and 1,000)");
    throttling_ = toggle("alertThrottling", "A notification when the computer stays throttled");
    app_ = toggle("alertApp", "A notification when one app draws most of the power");
    session_ = toggle("alertSession", "A notification when a session ends or asks");
    session_->setText("A keep-awake session ended on a guard rail, or asks about its limit");
    const auto bind = [this](QCheckBox* box, bool PowerCore::AlertSettings::*field) {
        connect(box, &QCheckBox::clicked, this, [this, field](bool on) {
            auto settings = model_.alertSettings();
            settings.*field = on;
            alertChanged(on, settings);
        });
    };
    bind(health_, &PowerCore::AlertSettings::healthBelow);
    bind(cycles_, &PowerCore::AlertSettings::cycleMilestone);
    bind(throttling_, &PowerCore::AlertSettings::throttlingLong);
    bind(app_, &PowerCore::AlertSettings::appHighOnBattery);
    bind(session_, &PowerCore::AlertSettings::sessionEnded);
    bindAlerts(alerts);
    return alerts;
}

void SettingsView::bindAlerts(Card* alerts) {
    connect(threshold_, &QSpinBox::valueChanged, this, [this](int value) {
        if (updating_) return;
        auto settings = model_.alertSettings();
        settings.healthThresholdPercent = value;
        model_.setAlertSettings(settings);
    });
    for (QWidget* w :
         std::initializer_list<QWidget*>{health_, threshold_, cycles_, throttling_, app_, session_})
        alerts->body()->addWidget(w);
    alerts->body()->addWidget(
        note("Alerts only inform. Notification permission is asked when you switch the first "
             "one on, never at launch. Measured alerts speak once, and again at most once a day "
             "while nothing changes; the keep-awake ones every time."));
}

QWidget* SettingsView::aboutCard(const QString& version) {
    auto* about = new Card("About");
    auto* versionRow = new QHBoxLayout;
    versionRow->addWidget(plainLabel("Version"));
    versionRow->addStretch();
    auto* versionLabel = plainLabel(version);
    versionLabel->setObjectName("version");
    versionRow->addWidget(versionLabel);
    about->body()->addLayout(versionRow);
    about->body()->addWidget(note(platformWords(
        "Vuzur reads the battery, the thermal state and the sensors; it never limits charging, "
        "never writes to the controller and never changes a system setting. The one thing it "
        "does is keep the Mac awake while a session or rule you set is active, within the guard "
        "rails above. History stays on this Mac, in Vuzur\u2019s own folder.")));
    return about;
}

void SettingsView::alertChanged(bool switchedOn, PowerCore::AlertSettings settings) {
    model_.setAlertSettings(settings);
    // Permission is asked after the switch is stored, on a later turn of the loop.
    if (switchedOn) QTimer::singleShot(0, this, [this] { model_.alertSwitchedOn(); });
}

void SettingsView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    model_.loadHistory(); // the size on disk as it is now
}

void SettingsView::update() {
    updating_ = true;
    // A value being typed is left alone.
    const auto set = [](QSpinBox* box, int value) {
        if (box->value() != value && !box->hasFocus()) box->setValue(value);
    };
    const auto& rails = model_.rails();
    set(floor_, rails.batteryFloorPercent);
    set(cap_, int(rails.durationCap / 3600));
    const auto status = model_.loginItemStatus();
    login_->setChecked(status == LoginItem::Status::enabled);
    login_->setEnabled(status != LoginItem::Status::unavailable);
    loginCaption_->setText(toQString(LoginItem::caption(status)));
    historySize_->setText(byteCount(model_.historyBytes()) + platformWords(" on this Mac."));
    const auto& alerts = model_.alertSettings();
    health_->setText(QString("Battery health under %1 %").arg(alerts.healthThresholdPercent));
    health_->setChecked(alerts.healthBelow);
    set(threshold_, alerts.healthThresholdPercent);
    cycles_->setChecked(alerts.cycleMilestone);
    throttling_->setText(
        QString("Throttling for more than %1 minutes").arg(alerts.throttlingMinutes));
    throttling_->setChecked(alerts.throttlingLong);
    app_->setText(QString("One app above %1 % of the power on battery for %2 minutes")
                      .arg(alerts.appSharePercent)
                      .arg(alerts.appMinutes));
    app_->setChecked(alerts.appHighOnBattery);
    session_->setChecked(alerts.sessionEnded);
    updating_ = false;
}

} // namespace QuorvelPower
