// The tray item on a private session bus, as a panel sees it: registered with every
// StatusNotifierWatcher that appears, a menu whose items keep their ids, a popover that a
// second click closes. And the window when no panel comes.
#include "DesktopBus.hpp"
#include "QuorvelPower/ModelFixture.hpp"
#include "QuorvelPower/QtApplication.hpp"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QElapsedTimer>
#include <QuorvelPower/ui/PopoverView.hpp>
#include <QuorvelPower/ui/TrayItem.hpp>
#include <QuorvelPower/ui/tray/DBusMenuTypes.hpp>
#include <QuorvelPower/ui/tray/StatusNotifierItem.hpp>

using namespace VuzurTests;

namespace {

constexpr const char* watcherName = "org.kde.StatusNotifierWatcher";

class TrayTest : public ModelTest {
protected:
    void SetUp() override {
        if (const auto why = FakeDesktop::unavailableReason(); !why.empty()) GTEST_SKIP() << why;
        qtApplication();
        desktop = std::make_unique<FakeDesktop>();
        const auto address = QString::fromStdString(desktop->address(FakeDesktop::Bus::session));
        // A connection of the program's own and one of the panel's, each under a fresh name.
        static int serial = 0;
        bus = QDBusConnection::connectToBus(address, QString("program-%1").arg(++serial));
        panel = QDBusConnection::connectToBus(address, QString("panel-%1").arg(serial));
        ASSERT_TRUE(bus.isConnected() && panel.isConnected());
        registerTrayTypes();
    }
    void TearDown() override {
        tray.reset();
        popover.reset();
        changes.reset();
        QDBusConnection::disconnectFromBus(bus.name());
        QDBusConnection::disconnectFromBus(panel.name());
    }

    void makeTray() {
        build();
        changes = std::make_unique<ModelSignals>(*model);
        popover =
            std::make_unique<PopoverView>(*changes, PopoverView::Actions{[](Tab) {}, [] {}}, true);
        tray =
            std::make_unique<TrayItem>(*changes, *popover,
                                       TrayItem::Actions{[this](Tab tab) { shown.push_back(tab); },
                                                         [] {}, [] {}, [this] { ++noPanel; }},
                                       bus);
    }

    // Runs the event loop until `condition` holds or `seconds` pass.
    bool within(double seconds, const std::function<bool()>& condition) {
        QElapsedTimer timer;
        timer.start();
        while (!condition()) {
            if (timer.elapsed() > seconds * 1000) return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        }
        return true;
    }

    // A call from the panel's side, answered while the program's loop runs.
    QDBusMessage ask(const QString& path, const QString& interface, const QString& method,
                     const QVariantList& arguments = {}) {
        auto call =
            QDBusMessage::createMethodCall(tray->item().serviceName(), path, interface, method);
        call.setArguments(arguments);
        return panel.call(call, QDBus::BlockWithGui, 5000);
    }

    std::vector<std::pair<int, QVariantMap>> layout() {
        const auto reply =
            ask("/MenuBar", "com.canonical.dbusmenu", "GetLayout", {0, -1, QStringList{}});
        std::vector<std::pair<int, QVariantMap>> items;
        if (reply.type() != QDBusMessage::ReplyMessage) return items;
        const auto root = qdbus_cast<DBusMenuLayoutItem>(reply.arguments().at(1));
        for (const auto& child : root.children)
            items.emplace_back(child.id, child.properties);
        return items;
    }

    QVariantMap entry(int id) {
        for (auto& [itemId, properties] : layout())
            if (itemId == id) return properties;
        return {};
    }

    std::vector<std::string> registered() {
        auto call = QDBusMessage::createMethodCall(watcherName, "/StatusNotifierWatcher",
                                                   "org.freedesktop.DBus.Properties", "Get");
        call << QString(watcherName) << QString("RegisteredStatusNotifierItems");
        const auto reply = panel.call(call, QDBus::BlockWithGui, 5000);
        std::vector<std::string> items;
        if (reply.type() == QDBusMessage::ReplyMessage)
            for (const auto& item :
                 reply.arguments().at(0).value<QDBusVariant>().variant().toStringList())
                items.push_back(item.toStdString());
        return items;
    }

    std::unique_ptr<FakeDesktop> desktop;
    QDBusConnection bus{""}, panel{""};
    std::unique_ptr<ModelSignals> changes;
    std::unique_ptr<PopoverView> popover;
    std::unique_ptr<TrayItem> tray;
    std::vector<Tab> shown;
    int noPanel = 0;
};

} // namespace

TEST_F(TrayTest, EveryPanelThatAppearsGetsTheItemAndNoneMeansTheWindow) {
    makeTray();
    const auto ours = tray->item().serviceName().toStdString() + "/StatusNotifierItem";
    // No panel for 3 s: said once, and the item stays ready for a later one.
    EXPECT_TRUE(within(5, [&] { return noPanel == 1; }));
    desktop->start("status_notifier_watcher.py", watcherName, FakeDesktop::Bus::session);
    EXPECT_TRUE(within(3, [&] { return registered() == std::vector<std::string>{ours}; }));

    // The panel restarts: its new watcher gets the item again.
    desktop->stop(watcherName);
    desktop->start("status_notifier_watcher.py", watcherName, FakeDesktop::Bus::session);
    EXPECT_TRUE(within(3, [&] { return registered() == std::vector<std::string>{ours}; }));
    EXPECT_EQ(tray->registrations(), 2);
    EXPECT_EQ(noPanel, 1);
}

TEST_F(TrayTest, MenuItemsKeepTheirIdsAndFollowTheModel) {
    makeTray();
    const auto before = layout();
    ASSERT_EQ(before.size(), 16u);
    EXPECT_EQ(entry(4).value("label").toString(), "Keep awake");
    EXPECT_FALSE(entry(5).value("visible").toBool()) << "End waits for a session";

    holder->failWith = HoldFailure::refused;
    // The panel's click on "1 h".
    ask("/MenuBar", "com.canonical.dbusmenu", "Event",
        {8, QString("clicked"), QVariant::fromValue(QDBusVariant(QString())), 0u});
    ASSERT_TRUE(within(3, [&] { return model->activeSession().has_value(); }));
    EXPECT_TRUE(within(
        3, [&] { return entry(4).value("label").toString() == "Not held: the system refused"; }));
    EXPECT_TRUE(entry(5).value("visible").toBool());
    EXPECT_FALSE(entry(8).value("visible").toBool());
    const auto status = ask(StatusNotifierItem::path, "org.freedesktop.DBus.Properties", "Get",
                            {QString("org.kde.StatusNotifierItem"), QString("Status")});
    EXPECT_EQ(status.arguments().at(0).value<QDBusVariant>().variant().toString(),
              "NeedsAttention");
    const auto icon = ask(StatusNotifierItem::path, "org.freedesktop.DBus.Properties", "Get",
                          {QString("org.kde.StatusNotifierItem"), QString("IconName")});
    EXPECT_EQ(icon.arguments().at(0).value<QDBusVariant>().variant().toString(),
              "com.quorvel.power-attention-symbolic");
    // Same items, same ids: only their properties moved.
    const auto after = layout();
    ASSERT_EQ(after.size(), before.size());
    for (size_t i = 0; i < after.size(); ++i)
        EXPECT_EQ(after[i].first, before[i].first);

    ask("/MenuBar", "com.canonical.dbusmenu", "Event",
        {5, QString("clicked"), QVariant::fromValue(QDBusVariant(QString())), 0u});
    EXPECT_TRUE(within(3, [&] { return !model->activeSession(); }));
    // A hidden or disabled item does nothing, whatever a panel sends.
    ask("/MenuBar", "com.canonical.dbusmenu", "Event",
        {5, QString("clicked"), QVariant::fromValue(QDBusVariant(QString())), 0u});
    ask("/MenuBar", "com.canonical.dbusmenu", "Event",
        {4, QString("clicked"), QVariant::fromValue(QDBusVariant(QString())), 0u});
    QCoreApplication::processEvents();
    EXPECT_FALSE(model->activeSession());
}

TEST_F(TrayTest, ASecondClickClosesThePopover) {
    makeTray();
    ask(StatusNotifierItem::path, "org.kde.StatusNotifierItem", "Activate", {10, 10});
    EXPECT_TRUE(within(3, [&] { return popover->isVisible(); }));
    EXPECT_TRUE(model->isVisible()) << "refreshes every 5 s while it shows";
    ask(StatusNotifierItem::path, "org.kde.StatusNotifierItem", "Activate", {10, 10});
    EXPECT_TRUE(within(3, [&] { return !popover->isVisible(); }));
    EXPECT_FALSE(model->isVisible()) << "and every 30 s once it is gone";
    ask(StatusNotifierItem::path, "org.kde.StatusNotifierItem", "SecondaryActivate", {0, 0});
    EXPECT_EQ(shown, std::vector<Tab>{Tab::battery});
}
