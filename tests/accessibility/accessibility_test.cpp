// SPDX-License-Identifier: GPL-3.0-or-later
// The windows as a screen reader reads them, with Qt's AT-SPI bridge running: over the
// accessibility bus as Orca reads them, and through the accessible interfaces the bridge serves
// (which name the controls by their objects), with the events the bridge would send recorded.
#include "app/apptestsupport.h"
#include "checkfrommenu.h"

#include "scenes/gifpane.h"
#include "dialogs/henkouform.h"
#include "dialogs/idpassform.h"
#include "dialogs/optionform.h"
#include "dialogs/setform.h"
#include "ui/keyboard.h"

#include <QAccessible>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QLineEdit>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <semaphore>

namespace {

// What a screen reader says of its own accord, as Orca does: the description of a control that
// takes focus, read with it, and a change of the description of the object that has focus.
QStringList g_announcements;

void recordAnnouncement(QAccessibleEvent *event)
{
    const QAccessibleInterface *iface = event->accessibleInterface();
    if (!iface)
        return;
    QObject *focus = QApplication::focusWidget();
    if (!focus)
        focus = QApplication::activeWindow();
    const bool spoken = event->type() == QAccessible::Focus
        || (event->type() == QAccessible::DescriptionChanged && iface->object() == focus);
    const QString text = iface->text(QAccessible::Description);
    if (spoken && !text.isEmpty())
        g_announcements << text;
}

bool showing(const QAccessibleInterface *iface)
{
    return !iface->state().invisible && !iface->state().offscreen;
}

// Roles a reader passes through without reading them.
bool isPlainContainer(QAccessible::Role role)
{
    return role == QAccessible::Client || role == QAccessible::Pane || role == QAccessible::MenuBar
        || role == QAccessible::Separator;
}

struct Tree {
    QStringList problems;
    QHash<QObject *, QAccessibleInterface *> nodes;

    QAccessibleInterface *node(QObject *object) const { return nodes.value(object); }
};

void walk(QAccessibleInterface *iface, const QString &path, Tree &tree)
{
    const QString name = iface->text(QAccessible::Name);
    const QString here = path + u'/' + (iface->object() ? iface->object()->objectName() : name);
    if (iface->object())
        tree.nodes.insert(iface->object(), iface);
    if ((iface->state().focusable || (showing(iface) && !isPlainContainer(iface->role())))
        && name.trimmed().isEmpty())
        tree.problems << here + QStringLiteral(": no name");
    auto *widget = qobject_cast<QWidget *>(iface->object());
    if (widget && !widget->isWindow() && showing(iface) && !liesInView(widget))
        tree.problems << here + QStringLiteral(": showing but out of view");
    for (int i = 0; i < iface->childCount(); ++i) {
        if (QAccessibleInterface *child = iface->child(i)) {
            if (iface->indexOfChild(child) != i || child->parent()->object() != iface->object())
                tree.problems << here + QStringLiteral(": child %1 does not know its place").arg(i);
            walk(child, here, tree);
        }
    }
}

Tree read(QWidget *window)
{
    Tree tree;
    walk(QAccessible::queryAccessibleInterface(window), QString(), tree);
    return tree;
}

QString nameOf(const Tree &tree, QObject *object)
{
    const QAccessibleInterface *iface = tree.node(object);
    return iface ? iface->text(QAccessible::Name) : QStringLiteral("<not in the tree>");
}

// The program's tree as Orca reads it: over the accessibility bus, from the registry down, by
// role names, names and states.
class BusReader {
public:
    struct Read {
        QString role; // of the window
        QStringList problems;
        QStringList showing; // names of the showing nodes
    };

    bool open()
    {
        const QDBusMessage reply
            = QDBusConnection::sessionBus().call(QDBusMessage::createMethodCall(
                QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus"),
                QStringLiteral("org.a11y.Bus"), QStringLiteral("GetAddress")));
        if (reply.type() != QDBusMessage::ReplyMessage)
            return false;
        m_bus = QDBusConnection::connectToBus(
            reply.arguments().value(0).toString(), QStringLiteral("screen reader"));
        return m_bus.isConnected();
    }

    // The window with this title among the program's windows, read whole.
    Read window(const QString &title)
    {
        Read read;
        const Node registry { QStringLiteral("org.a11y.atspi.Registry"),
            QStringLiteral("/org/a11y/atspi/accessible/root") };
        for (const Node &app : children(registry)) {
            for (const Node &window : children(app)) {
                if (name(window) == title) {
                    read.role = roleName(window);
                    walk(window, title, read);
                    return read;
                }
            }
        }
        read.problems << QStringLiteral("no window named ") + title;
        return read;
    }

private:
    struct Node {
        QString service;
        QString path;
    };

    QDBusMessage ask(const Node &node, const QString &interface, const QString &method,
        const QVariantList &arguments = {})
    {
        QDBusMessage call
            = QDBusMessage::createMethodCall(node.service, node.path, interface, method);
        call.setArguments(arguments);
        // The program answers on this very thread: wait with its events going on.
        return m_bus.call(call, QDBus::BlockWithGui, 5000);
    }
    QDBusMessage accessible(const Node &node, const char *method)
    {
        return ask(node, QStringLiteral("org.a11y.atspi.Accessible"), QLatin1String(method));
    }

    QList<Node> children(const Node &node)
    {
        QList<Node> nodes;
        const QDBusMessage reply = accessible(node, "GetChildren");
        if (reply.arguments().isEmpty())
            return nodes;
        const auto list = reply.arguments().first().value<QDBusArgument>();
        list.beginArray();
        while (!list.atEnd()) {
            Node child;
            QDBusObjectPath path;
            list.beginStructure();
            list >> child.service >> path;
            list.endStructure();
            child.path = path.path();
            nodes << child;
        }
        list.endArray();
        return nodes;
    }
    QString name(const Node &node)
    {
        const QDBusMessage reply
            = ask(node, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"),
                { QStringLiteral("org.a11y.atspi.Accessible"), QStringLiteral("Name") });
        return reply.arguments().value(0).value<QDBusVariant>().variant().toString();
    }
    QString roleName(const Node &node)
    {
        return accessible(node, "GetRoleName").arguments().value(0).toString();
    }
    quint32 states(const Node &node)
    {
        const auto bits = accessible(node, "GetState").arguments().value(0).value<QDBusArgument>();
        QList<quint32> words;
        bits >> words;
        return words.value(0);
    }

    void walk(const Node &node, const QString &path, Read &read)
    {
        constexpr quint32 Focusable = 1u << 11;
        constexpr quint32 Showing = 1u << 25;
        const quint32 state = states(node);
        const QString role = roleName(node);
        const QString label = name(node);
        const bool container
            = QStringList({ "filler", "panel", "menu bar", "separator" }).contains(role);
        if ((state & Focusable || (state & Showing && !container)) && label.trimmed().isEmpty())
            read.problems << path + u'/' + role + QStringLiteral(": no name");
        if (state & Showing)
            read.showing << label;
        for (const Node &child : children(node))
            walk(child, path + u'/' + role, read);
    }

    QDBusConnection m_bus { QString() };
};

} // namespace

class AccessibilityTest : public MainFormTest {
protected:
    void SetUp() override
    {
        MainFormTest::SetUp();
        g_announcements.clear();
        for (const char *scene : { "Yatai.gif", "nande.gif", "nande2.gif" })
            QFile::copy(QStringLiteral(BRINDLE_SOURCE_DIR "/assets/★MailData/") + scene,
                m_program + QStringLiteral("/★MailData/") + scene);
        m_previousHandler = QAccessible::installUpdateHandler(recordAnnouncement);
        // The widgets send their events only while a screen reader listens: the AT-SPI bridge
        // says so once the accessibility bus is there (started here, as a desktop starts it) and
        // the bridge has reached it.
        QDBusConnection session = QDBusConnection::sessionBus();
        if (!session.isConnected())
            GTEST_SKIP() << "no D-Bus session bus";
        session.interface()->startService(QStringLiteral("org.a11y.Bus"));
        if (!QTest::qWaitFor([] { return QAccessible::isActive(); }, 10000))
            GTEST_SKIP() << "the AT-SPI bridge is not active: run under X (QT_QPA_PLATFORM=xcb) "
                            "with at-spi2-core and QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1";
    }
    void TearDown() override
    {
        QAccessible::installUpdateHandler(m_previousHandler);
        MainFormTest::TearDown();
        forms().destroyAllWithoutUnload();
    }

    MainForm &shownForm()
    {
        setServer("pop.example");
        setAccount("bob", "secret");
        MainForm &form = loadForm();
        form.showForm();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&form));
        return form;
    }

    // Starts a check from the menu and returns once it has ended.
    void runCheck(MainForm &form) { EXPECT_TRUE(checkFromMenu(form)) << "the check did not end"; }

    QAccessible::UpdateHandler m_previousHandler = nullptr;
};

TEST_F(AccessibilityTest, MainWindowIsReadInTheIdleSceneAfterEachCheckAndBackAgain)
{
    setOptionNumber(1);
    MainForm &form = shownForm();
    const QString idleScene = QStringLiteral("屋台で働く店主");

    Tree idle = read(&form);
    EXPECT_EQ(idle.problems, QStringList());
    // The hidden and far-off controls, by the names they would be read by.
    const QStringList outOfView
        = { "切断", "再生", "停止", "イベント開始", "ループ", "Text2", "Command1" };
    BusReader reader;
    ASSERT_TRUE(reader.open());
    const BusReader::Read idleOverBus = reader.window(MainForm::Title);
    EXPECT_EQ(idleOverBus.role, QStringLiteral("frame"));
    EXPECT_EQ(idleOverBus.problems, QStringList());
    EXPECT_TRUE(idleOverBus.showing.contains(idleScene))
        << idleOverBus.showing.join(u'|').toStdString();
    for (const QString &name : outOfView + QStringList { QStringLiteral("元のサイズ") })
        EXPECT_FALSE(idleOverBus.showing.contains(name)) << name.toStdString();
    EXPECT_EQ(idle.node(form.WebBrowser1())->role(), QAccessible::Graphic);

    const QList<std::pair<int, QString>> checks = { { 3, QStringLiteral("新着メール有り。 3通") },
        { 0, QStringLiteral("新着メールなし。") }, { 0, QStringLiteral("新着メールなし。") } };
    QStringList heard;
    for (const auto &[count, announcement] : checks) {
        SCOPED_TRACE(announcement.toStdString());
        m_nmail.authenticateResult = count;
        m_nmail.sizes = QList<int>(count, 10);
        runCheck(form);
        heard << announcement;
        // Spoken once per check, also when it says what the check before said.
        EXPECT_EQ(g_announcements, heard);

        Tree event = read(&form);
        EXPECT_EQ(event.problems, QStringList());
        const BusReader::Read overBus = reader.window(MainForm::Title);
        EXPECT_EQ(overBus.problems, QStringList());
        for (const QString &name : { QStringLiteral("チェック結果"), QStringLiteral("　新着数"),
                 QStringLiteral("元のサイズ"), HenkouForm::eventSceneName(1) })
            EXPECT_TRUE(overBus.showing.contains(name)) << name.toStdString();
        for (const QString &name : outOfView)
            EXPECT_FALSE(overBus.showing.contains(name)) << name.toStdString();
        EXPECT_EQ(event.node(form.Text6())->text(QAccessible::Value), QString::number(count));
        const auto labelled = event.node(form.Text6())->relations(QAccessible::Label);
        ASSERT_EQ(labelled.size(), 1);
        EXPECT_EQ(labelled.first().first->object()->objectName(), QStringLiteral("Label4"));
    }

    // The other event picture, then back to the idle scene: the name follows the picture.
    forms().henkouForm.get().Option2()->setChecked(true);
    form.mhikyaku_Click();
    EXPECT_EQ(nameOf(read(&form), form.WebBrowser1()), HenkouForm::eventSceneName(2));
    form.mmodosu_Click();
    Tree back = read(&form);
    EXPECT_EQ(back.problems, QStringList());
    EXPECT_EQ(nameOf(back, form.WebBrowser1()), idleScene);
    EXPECT_FALSE(back.nodes.contains(form.Text3()));
    EXPECT_EQ(g_announcements, heard);
}

TEST_F(AccessibilityTest, StoppedCheckSaysSoWhileTheProgressIsRead)
{
    MainForm &form = shownForm();
    m_nmail.authenticateResult = 2;
    m_nmail.sizes = { 10, 20 };
    // The library's thread waits in its first status call until the window has been read and
    // the check stopped.
    std::binary_semaphore entered { 0 };
    std::binary_semaphore release { 0 };
    std::atomic<bool> held = false;
    m_nmail.onCall = [&](const QString &call) {
        if (!call.startsWith(QStringLiteral("GetMailStatus 7 1")) || held.exchange(true))
            return;
        entered.release();
        (void)release.try_acquire_for(std::chrono::seconds(20));
    };
    Tree during;
    QString progress; // as read while the check runs
    QTimer poll;
    poll.setInterval(1);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (!entered.try_acquire())
            return;
        poll.stop();
        QTRY_COMPARE_WITH_TIMEOUT(form.progressLabel()->text(), QStringLiteral("1/2"), 5000);
        during = read(&form);
        for (QWidget *shown : { static_cast<QWidget *>(form.progressLabel()),
                 static_cast<QWidget *>(form.stopButton()) }) {
            const QAccessibleInterface *node = during.node(shown);
            if (node && showing(node))
                progress += node->text(QAccessible::Name) + u'|';
        }
        form.stopButton()->click();
    });
    poll.start();
    runCheck(form);
    release.release();
    QSignalSpy finished(&m_nmailThread, &LibraryThread::finished);
    while (m_nmailThread.isBusy())
        ASSERT_TRUE(finished.wait(10000));
    m_nmail.onCall = nullptr;

    EXPECT_EQ(during.problems, QStringList());
    EXPECT_EQ(progress, QStringLiteral("1/2|中止|"));
    EXPECT_EQ(g_announcements, QStringList({ QStringLiteral("チェックを中止しました。") }));
}

TEST_F(AccessibilityTest, EveryDialogFieldIsReadWithItsLabel)
{
    setServer("pop.example");
    setAccount("bob", "secret");
    Forms &dialogs = forms();
    OptionForm &server = dialogs.optionForm.show();
    IdPassForm &account = dialogs.idPassForm.show();
    SetForm &hub = dialogs.setForm.show();
    HenkouForm &image = dialogs.henkouForm.show();

    struct Row {
        Form *dialog;
        QList<std::pair<const char *, QString>> fields; // control, the name it is read by
    };
    const QList<Row> rows = {
        { &server,
            { { "SmtpText", "SMTPサーバー名(S)" }, { "Pop3Text", "POP3サーバー名(P)" },
                { "MailText", "メールアドレス(M)" }, { "ApopCheck", "APOP を使用する(A)" },
                { "OKCommand", "設定" }, { "CancelCommand", "中止" } } },
        { &account,
            { { "IdText", "ID" }, { "PassText", "Password" },
                { "Check1", "IDパスワードを保存する" }, { "OKCommand", "OK" },
                { "CancelCommand", "Cancel" } } },
        { &hub,
            { { "Command1", "ID/PASS" }, { "Command2", "POPサーバー" },
                { "Check1", "新着がなければ接続を切断する。" } } },
        { &image,
            { { "Option1", HenkouForm::eventSceneName(1) },
                { "Option2", HenkouForm::eventSceneName(2) } } },
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.dialog->objectName().toStdString());
        Tree tree = read(row.dialog);
        EXPECT_EQ(tree.problems, QStringList());
        EXPECT_EQ(tree.node(row.dialog)->role(), QAccessible::Dialog);
        EXPECT_EQ(nameOf(tree, row.dialog), row.dialog->windowTitle());
        for (const auto &[control, name] : row.fields)
            EXPECT_EQ(nameOf(tree, row.dialog->findChild<QWidget *>(control)), name) << control;
    }
    // A label's access key is read with the box it leads to.
    for (const char *box : { "SmtpText", "Pop3Text", "MailText" }) {
        const QString key
            = read(&server).node(server.findChild<QWidget *>(box))->text(QAccessible::Accelerator);
        EXPECT_TRUE(key.contains(u'+')) << box << ": " << key.toStdString();
    }
}
