// The real program under a StatusNotifierItem host, as Plasma and GNOME's AppIndicator extension
// provide one: a watcher of the test's own on a private session bus (run under dbus-run-session)
// receives the program's item, whose exported menu carries the commands and runs them.
#include "ProgramRun.h"
#include "XSession.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QTest>

#include <gtest/gtest.h>

namespace belvane {
namespace {

const QString watcherService = QStringLiteral("org.kde.StatusNotifierWatcher");

// The host's side of the protocol: items register here, and a host is said to be present.
class StatusNotifierWatcher final : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ registered)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)

public:
    bool hostRegistered() const { return true; }
    QStringList registered() const { return items; }
    int protocolVersion() const { return 0; }
    QStringList items; // the bus names of registered items

public slots:
    void RegisterStatusNotifierItem(const QString &service, const QDBusMessage &message)
    {
        items << (service.startsWith(u'/') ? message.service() : service);
        emit StatusNotifierItemRegistered(items.back());
    }
    void RegisterStatusNotifierHost(const QString &) { }

signals:
    void StatusNotifierItemRegistered(const QString &service);
    void StatusNotifierHostRegistered();
};

struct MenuEntry
{
    int id;
    QString text; // "-" for a separator
};

// The item's menu as a host reads it: the top level of com.canonical.dbusmenu's layout.
std::vector<MenuEntry> ReadMenu(const QString &service, const QString &path)
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        service, path, QStringLiteral("com.canonical.dbusmenu"), QStringLiteral("GetLayout"));
    call << 0 << -1 << QStringList();
    const QDBusMessage reply = QDBusConnection::sessionBus().call(call);
    std::vector<MenuEntry> entries;
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 2) {
        return entries;
    }
    const QDBusArgument root = reply.arguments().at(1).value<QDBusArgument>();
    int rootId = 0;
    QVariantMap rootProperties;
    root.beginStructure();
    root >> rootId >> rootProperties;
    root.beginArray();
    while (!root.atEnd()) {
        QDBusVariant child;
        root >> child;
        const QDBusArgument item = child.variant().value<QDBusArgument>();
        MenuEntry entry {};
        QVariantMap properties;
        item.beginStructure();
        item >> entry.id >> properties;
        entry.text = properties.value(QStringLiteral("type")).toString() == QStringLiteral("separator")
            ? QStringLiteral("-")
            : properties.value(QStringLiteral("label")).toString();
        entries.push_back(entry);
        item.beginArray(); // the entry's own children: none
        while (!item.atEnd()) {
            QDBusVariant grandchild;
            item >> grandchild;
        }
        item.endArray();
        item.endStructure();
    }
    root.endArray();
    root.endStructure();
    return entries;
}

bool WaitFor(const std::function<bool()> &done)
{
    return testing::WaitUntil(done, std::chrono::seconds(20));
}

TEST(TrayHostTest, StatusNotifierHostGetsTheItemAndItsCommandMenuWhichRuns)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    ASSERT_TRUE(bus.isConnected()) << "run under dbus-run-session";
    StatusNotifierWatcher watcher;
    ASSERT_TRUE(bus.registerObject(QStringLiteral("/StatusNotifierWatcher"), &watcher,
                                   QDBusConnection::ExportAllContents));
    ASSERT_TRUE(bus.registerService(watcherService));

    testing::XSession x;
    ASSERT_TRUE(x.Start(false)) << "Xvfb is needed; the only tray host is the watcher";
    testing::ProgramCopy folder {BELVANE_PROGRAM_DIR};
    QProcess program;
    program.setProcessChannelMode(QProcess::ForwardedChannels);
    ASSERT_TRUE(testing::Launch(program, folder.file("belvane"), x.env));
    const auto shown = [&] {
        return !x.VisibleWindows(QStringLiteral("Belvane")).isEmpty();
    };
    ASSERT_TRUE(WaitFor([&] { return !watcher.items.isEmpty() && shown(); })) << "item registered";
    const QString item = watcher.items.front();
    const QString window = x.VisibleWindows(QStringLiteral("Belvane")).value(0);

    QDBusMessage get = QDBusMessage::createMethodCall(item, QStringLiteral("/StatusNotifierItem"),
                                                      QStringLiteral("org.freedesktop.DBus.Properties"),
                                                      QStringLiteral("Get"));
    get << QStringLiteral("org.kde.StatusNotifierItem") << QStringLiteral("Menu");
    const QDBusMessage menuPath = bus.call(get);
    ASSERT_EQ(menuPath.type(), QDBusMessage::ReplyMessage) << menuPath.errorMessage().toStdString();
    const QString path =
        qdbus_cast<QDBusObjectPath>(menuPath.arguments().value(0).value<QDBusVariant>().variant()).path();
    const std::vector<MenuEntry> menu = ReadMenu(item, path);
    QStringList texts;
    for (const MenuEntry &entry : menu) {
        texts << entry.text;
    }
    EXPECT_EQ(texts.join(u'|').toStdString(),
              std::string("表示|設定|動作ファイルリストのインポート|動作ファイルリストのエクスポート|"
                          "動作ファイルリストのテキスト出力|-|自己フォルダ開いて終了|終了|-|"
                          "バージョン情報|サポートページへ"));
    ASSERT_FALSE(menu.empty());

    // With a host present, confirming hides the window; a left click on the icon does nothing.
    ASSERT_TRUE(x.PressReturnUntil(window, [&] { return !shown(); })) << "confirmed and hidden";
    const auto callItem = [&](const QString &interface, const QString &method, const QVariantList &arguments,
                              const QString &at) {
        QDBusMessage call = QDBusMessage::createMethodCall(item, at, interface, method);
        call.setArguments(arguments);
        return bus.call(call).type() == QDBusMessage::ReplyMessage;
    };
    EXPECT_TRUE(callItem(QStringLiteral("org.kde.StatusNotifierItem"), QStringLiteral("Activate"), {10, 10},
                         QStringLiteral("/StatusNotifierItem")));
    QTest::qWait(1000);
    EXPECT_FALSE(shown()) << "a left click shows nothing";

    // The host runs "表示" as a click on its entry.
    const QVariantList clicked {menu.front().id, QStringLiteral("clicked"),
                                QVariant::fromValue(QDBusVariant(QVariant(0))), 0u};
    EXPECT_TRUE(callItem(QStringLiteral("com.canonical.dbusmenu"), QStringLiteral("Event"), clicked, path));
    EXPECT_TRUE(WaitFor(shown)) << "shown through the host's menu";

    // The host goes away while the window is hidden: it comes back, minimised (with no window manager
    // here, mapped as it is).
    ASSERT_TRUE(x.PressReturnUntil(window, [&] { return !shown(); }));
    ASSERT_TRUE(bus.unregisterService(watcherService));
    EXPECT_TRUE(WaitFor(shown)) << "reachable again without a host";

    EXPECT_TRUE(testing::EndsCleanly(program));
}

} // namespace
} // namespace belvane

#include "TrayHostTest.moc"
