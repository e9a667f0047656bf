// The input-method server on a private bus, driven by in-process clients on
// their own bus connections, with a controller that composes lowercase
// letters and commits them on Return.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusVirtualObject>
#include <QElapsedTimer>
#include <QThread>
#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "platform/imk/IMKClient.h"
#include "platform/imk/IMKServer.h"
#include "tests/support/CapturingLogSink.h"
#include "tests/support/PrivateBus.h"
#include "tests/support/PumpUntil.h"

namespace sorvane {
namespace {

constexpr const char* kName = "cn.kestrum.inputmethod.Sorvane_Connection";

std::string describe(const std::optional<Rect>& r) {
    if (!r) return "none";
    return std::to_string(int(r->x)) + "," + std::to_string(int(r->y)) + "," + std::to_string(int(r->width)) +
           "," + std::to_string(int(r->height));
}

struct Journal {
    std::vector<std::string> lines;
    std::vector<KeyEvent> events;
    int controllers = 0;
};

class ComposingController final : public IMKInputController {
public:
    ComposingController(IMKServer* server, InputClient* client, Journal& journal, std::uint64_t recognized)
        : IMKInputController(server, client), journal_(journal), recognized_(recognized) {
        ++journal_.controllers;
    }
    ~ComposingController() override { journal_.lines.push_back("destroyed"); }

    std::uint64_t recognizedEvents(InputClient*) const override { return recognized_; }

    void activateServer(InputClient* sender) override {
        journal_.lines.push_back("activate bundle=" + sender->bundleIdentifier().value_or("nil") +
                                 " caret=" + describe(sender->caretRect(0)) +
                                 " secure=" + (sender->isSecureInputOn() ? "true" : "false") +
                                 " flags=" + std::to_string(sender->currentModifierFlags()));
    }
    void deactivateServer(InputClient*) override {
        journal_.lines.push_back("deactivate");
        commit();
    }
    bool handleEvent(const KeyEvent& event, InputClient*) override {
        journal_.events.push_back(event);
        if (event.type != KeyEventType::keyDown) return false;
        if (event.keyCode == 36) {
            if (buffer_.empty()) return false;
            commit();
            return true;
        }
        if (event.characters.size() == 1 && event.characters[0] >= 'a' && event.characters[0] <= 'z') {
            buffer_ += event.characters;
            const int n = static_cast<int>(buffer_.size());
            client()->setMarkedText(buffer_, {n, 0}, {{{0, n}, MarkedTextStyle::selectedRawText}});
            return true;
        }
        return false;
    }
    void commitComposition(InputClient*) override {
        journal_.lines.push_back("commit request");
        commit();
    }
    void hidePalettes() override { journal_.lines.push_back("hide palettes"); }
    std::vector<MenuItem> menu() override { return {{"设置…", "openSettings:", ""}}; }
    bool performMenuAction(const std::string& action, InputClient*) override {
        journal_.lines.push_back("action " + action);
        return action == "openSettings:";
    }

private:
    void commit() {
        if (buffer_.empty()) return;
        client()->insertText(buffer_);
        buffer_.clear();
    }

    Journal& journal_;
    std::uint64_t recognized_;
    std::string buffer_;
};

using testing::pumpUntil;

class IMKServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(bus_.ok());
        serverBus_ = std::make_unique<QDBusConnection>(connect("server"));
        ASSERT_TRUE(serverBus_->isConnected());
    }
    void TearDown() override {
        server_.reset();
        clients_.clear();
        for (const auto& name : names_) QDBusConnection::disconnectFromBus(name);
    }

    QDBusConnection connect(const std::string& name) {
        const QString qname = QString::fromStdString(name + std::to_string(names_.size()));
        names_.push_back(qname);
        return QDBusConnection::connectToBus(QString::fromStdString(bus_.address()), qname);
    }

    void startServer(std::uint64_t recognized = EventMask::keyDown | EventMask::flagsChanged) {
        server_ = IMKServer::create(
            kName, "cn.kestrum.inputmethod.Sorvane",
            [this, recognized](IMKServer* server, InputClient& client) {
                return std::make_unique<ComposingController>(server, &client, journal_, recognized);
            },
            *serverBus_);
        ASSERT_TRUE(server_);
    }

    // A client application on its own bus connection, collecting what it
    // receives.
    struct App {
        std::unique_ptr<IMKClient> client;
        std::vector<std::string> received;
        QString connectionName;
    };
    App& openApp(std::optional<std::string> bundle = std::string("com.example.notes")) {
        auto app = std::make_unique<App>();
        QDBusConnection connection = connect("app");
        app->connectionName = names_.back();
        app->client = std::make_unique<IMKClient>(connection, kName);
        App* raw = app.get();
        app->client->onMarkedText = [raw](const MarkedTextUpdate& m) {
            raw->received.push_back("marked " + m.text + " sel=" + std::to_string(m.selection.location) +
                                    "," + std::to_string(m.selection.length) +
                                    " runs=" + std::to_string(m.styleRuns.size()));
        };
        app->client->onInsertText = [raw](const std::string& t) { raw->received.push_back("insert " + t); };
        app->client->setBundleIdentifier(std::move(bundle));
        app->client->setCaretRect(Rect{120, 640, 1, 18});
        EXPECT_TRUE(app->client->openSession());
        clients_.push_back(std::move(app));
        return *raw;
    }

    static KeyEvent key(std::uint16_t code, std::string chars, std::uint64_t flags = 0) {
        return {KeyEventType::keyDown, code, chars, chars, flags, 1.5};
    }

    int argc_ = 1;
    char arg0_[8] = "imktest";
    char* argv_[2] = {arg0_, nullptr};
    QCoreApplication qapp_{argc_, argv_};
    testing::PrivateBus bus_;
    std::vector<QString> names_;
    std::unique_ptr<QDBusConnection> serverBus_;
    Journal journal_;
    std::unique_ptr<IMKServer> server_;
    std::vector<std::unique_ptr<App>> clients_;
};

TEST_F(IMKServerTest, ClientReceivesMarkedAndInsertedText) {
    startServer();
    App& app = openApp();
    ASSERT_TRUE(app.client->activate());
    EXPECT_EQ(*app.client->keyDown(key(45, "n")), true);
    EXPECT_EQ(*app.client->keyDown(key(34, "i")), true);
    EXPECT_EQ(*app.client->keyDown(key(36, "\r")), true);
    EXPECT_EQ(*app.client->keyDown(key(49, " ")), false);  // the application types the space
    EXPECT_EQ(app.received,
              (std::vector<std::string>{"marked n sel=1,0 runs=1", "marked ni sel=2,0 runs=1", "insert ni"}));
}

TEST_F(IMKServerTest, ActivationSeesTheClientsStateAndEveryCallUpdatesIt) {
    startServer();
    App& app = openApp();
    app.client->setSecureInput(true);
    ASSERT_TRUE(
        app.client->flagsChanged({KeyEventType::flagsChanged, 57, "", "", ModifierFlag::capsLock, 0}));
    ASSERT_TRUE(app.client->activate());
    app.client->setBundleIdentifier(std::nullopt);
    app.client->setCaretRect(std::nullopt);
    app.client->setSecureInput(false);
    ASSERT_TRUE(app.client->activate());
    EXPECT_EQ(journal_.lines,
              (std::vector<std::string>{
                  "activate bundle=com.example.notes caret=120,640,1,18 secure=true flags=65536",
                  "activate bundle=nil caret=none secure=false flags=65536"}));
}

TEST_F(IMKServerTest, KeyEventsArriveField_for_field) {
    startServer();
    App& app = openApp();
    ASSERT_TRUE(app.client->activate());
    const KeyEvent down{KeyEventType::keyDown, 0, "\x01", "a", ModifierFlag::control | 0x1, 12.25};
    const KeyEvent shift{
        KeyEventType::flagsChanged, 60, "", "", ModifierFlag::shift | ModifierFlag::deviceRightShift, 12.5};
    EXPECT_EQ(*app.client->keyDown(down), false);
    EXPECT_EQ(*app.client->flagsChanged(shift), false);
    EXPECT_EQ(journal_.events, (std::vector<KeyEvent>{down, shift}));
}

TEST_F(IMKServerTest, UnrecognizedEventTypesNeverReachTheController) {
    startServer(EventMask::keyDown);
    App& app = openApp();
    ASSERT_TRUE(app.client->activate());
    EXPECT_EQ(*app.client->flagsChanged({KeyEventType::flagsChanged, 56, "", "", ModifierFlag::shift, 0}),
              false);
    EXPECT_EQ(*app.client->keyDown(key(45, "n")), true);
    ASSERT_EQ(journal_.events.size(), 1u);
    EXPECT_EQ(journal_.events[0].type, KeyEventType::keyDown);
}

TEST_F(IMKServerTest, OnlyTheActiveSessionTypesAndActivationMovesAcrossConnections) {
    startServer();
    App& a = openApp("com.example.a");
    App& b = openApp("com.example.b");
    EXPECT_EQ(journal_.controllers, 2);
    ASSERT_TRUE(a.client->activate());
    ASSERT_TRUE(a.client->keyDown(key(0, "a")));
    auto inactiveCannotReachA = [&](App& app) {
        // Not handled, and nothing reaches the controller.
        const std::size_t events = journal_.events.size(), lines = journal_.lines.size();
        EXPECT_EQ(*app.client->keyDown(key(11, "b")), false);
        EXPECT_EQ(*app.client->keyDown(key(53, "\x1b")), false);
        EXPECT_EQ(*app.client->flagsChanged({KeyEventType::flagsChanged, 56, "", "", ModifierFlag::shift, 0}),
                  false);
        ASSERT_TRUE(app.client->commitComposition());
        ASSERT_TRUE(app.client->hidePalettes());
        EXPECT_EQ(*app.client->performMenuAction("openSettings:"), false);
        EXPECT_EQ(journal_.events.size(), events);
        EXPECT_EQ(journal_.lines.size(), lines);
    };
    inactiveCannotReachA(b);
    EXPECT_EQ(a.received, (std::vector<std::string>{"marked a sel=1,0 runs=1"}));
    EXPECT_TRUE(b.received.empty());

    // B's activation ends A's: A's composition goes into A's own field.
    ASSERT_TRUE(b.client->activate());
    EXPECT_EQ(a.received, (std::vector<std::string>{"marked a sel=1,0 runs=1", "insert a"}));
    ASSERT_TRUE(b.client->keyDown(key(11, "b")));
    ASSERT_TRUE(b.client->keyDown(key(36, "\r")));
    EXPECT_EQ(b.received, (std::vector<std::string>{"marked b sel=1,0 runs=1", "insert b"}));
    inactiveCannotReachA(a);
    ASSERT_TRUE(b.client->deactivate());
    inactiveCannotReachA(b);
    EXPECT_EQ(journal_.lines[0].substr(0, 28), "activate bundle=com.example.");
    EXPECT_EQ(journal_.lines[1], "deactivate");
    EXPECT_EQ(journal_.lines[2].substr(0, 30), "activate bundle=com.example.b ");
    EXPECT_EQ(journal_.lines[3], "deactivate");
}

TEST_F(IMKServerTest, WhatAClientSendsIsBoundedAtTheEdge) {
    startServer();
    App& app = openApp();
    ASSERT_TRUE(app.client->activate());
    QDBusConnection ownerBus = QDBusConnection(app.connectionName);
    auto keyDown = [&](const QString& chars, const QString& bundle) {
        imkwire::ClientState state;
        state.hasBundleIdentifier = true;
        state.bundleIdentifier = bundle;
        QDBusMessage m =
            QDBusMessage::createMethodCall(kName, imkwire::kServerPath, imkwire::kServerInterface, "KeyDown");
        m << uint(*app.client->session()) << QVariant::fromValue(state) << uint(0) << chars << chars
          << qulonglong(0) << 0.0;
        return ownerBus.call(m, QDBus::BlockWithGui, 5000);
    };
    const QString e256 = QString("é").repeated(128);  // 256 bytes in UTF-8
    const QString b255 = QString("b").repeated(255);
    const struct {
        QString chars, bundle;
        const char* fault;  // none: accepted
    } rows[] = {
        {e256, "com.example.notes", nullptr},
        {e256 + "a", "com.example.notes", "key characters longer than 256 bytes"},
        {"a", b255, nullptr},
        {"a", b255 + "b", "bundle identifier longer than 255 bytes"},
    };
    for (const auto& row : rows) {
        const QDBusMessage reply = keyDown(row.chars, row.bundle);
        if (!row.fault) {
            EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
            continue;
        }
        EXPECT_EQ(reply.errorName().toStdString(), "org.freedesktop.DBus.Error.InvalidArgs");
        EXPECT_EQ(reply.errorMessage().toStdString(), row.fault);
    }
    EXPECT_EQ(journal_.events.size(), 2u);

    // Opening: the same bundle bound, and at most 1,024 sessions per
    // connection; the server goes on serving.
    QDBusConnection hoarder = connect("hoarder");
    const QString hoarderName = names_.back();
    auto open = [&](const QString& bundle) {
        QDBusMessage m = QDBusMessage::createMethodCall(kName, imkwire::kServerPath,
                                                        imkwire::kServerInterface, "OpenSession");
        m << bundle;
        return hoarder.call(m, QDBus::BlockWithGui, 5000);
    };
    EXPECT_EQ(open(b255 + "b").errorName().toStdString(), "org.freedesktop.DBus.Error.InvalidArgs");
    const QDBusMessage kept = open(b255);
    EXPECT_EQ(kept.type(), QDBusMessage::ReplyMessage);
    for (int i = 1; i < 1024; ++i)
        ASSERT_EQ(open("com.example.many").type(), QDBusMessage::ReplyMessage) << i;
    const QDBusMessage refused = open("com.example.many");
    EXPECT_EQ(refused.errorName().toStdString(), "org.freedesktop.DBus.Error.LimitsExceeded");
    EXPECT_EQ(server_->sessionCount(), 1025u);
    EXPECT_EQ(*app.client->keyDown(key(11, "b")), true);
    App& another = openApp();
    EXPECT_TRUE(another.client->session());

    // A closed session makes room for one more; when the hoarder leaves,
    // all of its sessions go and nobody else's.
    QDBusMessage close = QDBusMessage::createMethodCall(kName, imkwire::kServerPath,
                                                        imkwire::kServerInterface, "CloseSession");
    close << kept.arguments().value(0).toUInt();
    EXPECT_EQ(hoarder.call(close, QDBus::BlockWithGui, 5000).type(), QDBusMessage::ReplyMessage);
    EXPECT_EQ(open("com.example.many").type(), QDBusMessage::ReplyMessage);
    EXPECT_EQ(open("com.example.many").errorName().toStdString(),
              "org.freedesktop.DBus.Error.LimitsExceeded");
    hoarder = QDBusConnection(QString());
    QDBusConnection::disconnectFromBus(hoarderName);
    EXPECT_TRUE(pumpUntil([&] { return server_->sessionCount() == 2; }));
    ASSERT_TRUE(another.client->activate());
    EXPECT_EQ(*another.client->keyDown(key(11, "b")), true);
}

TEST_F(IMKServerTest, AnotherConnectionCannotUseASession) {
    startServer();
    App& owner = openApp();
    QDBusConnection intruder = connect("intruder");
    QDBusMessage call =
        QDBusMessage::createMethodCall(kName, imkwire::kServerPath, imkwire::kServerInterface, "Deactivate");
    call << uint(*owner.client->session());
    const QDBusMessage reply = intruder.call(call, QDBus::BlockWithGui, 5000);
    EXPECT_EQ(reply.type(), QDBusMessage::ErrorMessage);
    EXPECT_EQ(reply.errorName().toStdString(), imkwire::kErrorUnknownSession);
    EXPECT_TRUE(journal_.lines.empty());
}

TEST_F(IMKServerTest, UnknownSessionAndOutOfRangeKeyCodeAreRefused) {
    startServer();
    App& app = openApp();
    QDBusConnection other = connect("raw");
    QDBusMessage call = QDBusMessage::createMethodCall(kName, imkwire::kServerPath, imkwire::kServerInterface,
                                                       "HidePalettes");
    call << uint(999);
    EXPECT_EQ(other.call(call, QDBus::BlockWithGui, 5000).errorName().toStdString(),
              imkwire::kErrorUnknownSession);
    imkwire::ClientState nanCaret;
    nanCaret.hasCaret = true;
    nanCaret.caretX = std::nan("");
    const struct {
        imkwire::ClientState state;
        uint keyCode;
        double timestamp;
        const char* fault;
    } rows[] = {
        {{}, 0x10000, 0.0, "key code 65536 out of range"},
        {{}, 0, std::numeric_limits<double>::infinity(), "time stamp is not a finite number"},
        {nanCaret, 0, 0.0, "caret rectangle is not finite"},
    };
    // Sent from the owner's own connection: only the named value is wrong.
    QDBusConnection ownerBus = QDBusConnection(app.connectionName);
    for (const auto& row : rows) {
        QDBusMessage keyDown =
            QDBusMessage::createMethodCall(kName, imkwire::kServerPath, imkwire::kServerInterface, "KeyDown");
        keyDown << uint(*app.client->session()) << QVariant::fromValue(row.state) << row.keyCode
                << QString("x") << QString("x") << qulonglong(0) << row.timestamp;
        const QDBusMessage reply = ownerBus.call(keyDown, QDBus::BlockWithGui, 5000);
        EXPECT_EQ(reply.type(), QDBusMessage::ErrorMessage);
        EXPECT_EQ(reply.errorName().toStdString(), "org.freedesktop.DBus.Error.InvalidArgs");
        EXPECT_EQ(reply.errorMessage().toStdString(), row.fault);
    }
    EXPECT_TRUE(journal_.events.empty());
}

TEST_F(IMKServerTest, ClientThatLeavesTheBusHasItsSessionsDeactivatedAndClosed) {
    testing::ScopedLogCapture log;
    startServer();
    App& staying = openApp();
    {
        // A bare connection, so that dropping it really leaves the bus.
        QDBusConnection leaving = connect("leaving");
        auto call = [&](const char* method, const QList<QVariant>& args) {
            QDBusMessage m = QDBusMessage::createMethodCall(kName, imkwire::kServerPath,
                                                            imkwire::kServerInterface, method);
            m.setArguments(args);
            return leaving.call(m, QDBus::BlockWithGui, 5000);
        };
        imkwire::ClientState state;
        state.hasBundleIdentifier = true;
        state.bundleIdentifier = "com.example.gone";
        const uint id = call("OpenSession", {QString("com.example.gone")}).arguments().value(0).toUInt();
        call("Activate", {id, QVariant::fromValue(state)});
        call("KeyDown",
             {id, QVariant::fromValue(state), uint(0), QString("a"), QString("a"), qulonglong(0), 0.0});
    }
    ASSERT_EQ(server_->sessionCount(), 2u);
    QDBusConnection::disconnectFromBus(names_.back());
    ASSERT_TRUE(pumpUntil([&] { return server_->sessionCount() == 1; }));
    // The composition was committed on the way out, then the controller went.
    EXPECT_EQ(journal_.lines,
              (std::vector<std::string>{"activate bundle=com.example.gone caret=none secure=false flags=0",
                                        "deactivate", "destroyed"}));
    EXPECT_TRUE(log->contains("left the bus; closed 1 session(s)"));
    // The server goes on serving the others.
    ASSERT_TRUE(staying.client->activate());
    EXPECT_EQ(*staying.client->keyDown(key(11, "b")), true);
    EXPECT_EQ(staying.received, (std::vector<std::string>{"marked b sel=1,0 runs=1"}));
}

TEST_F(IMKServerTest, AClientGoneBeforeItsSessionOpenedHasItClosed) {
    startServer();
    {
        // The call reaches the server only after its sender has left.
        QDBusConnection leaving = connect("leaving");
        QDBusMessage m = QDBusMessage::createMethodCall(kName, imkwire::kServerPath,
                                                        imkwire::kServerInterface, "OpenSession");
        m.setArguments({QString("com.example.gone")});
        leaving.asyncCall(m);
    }
    QDBusConnection::disconnectFromBus(names_.back());
    ASSERT_TRUE(pumpUntil([&] { return journal_.controllers == 1; }));
    EXPECT_TRUE(pumpUntil([&] { return server_->sessionCount() == 0; }));
}

TEST_F(IMKServerTest, ClosingASessionDeactivatesItFirst) {
    startServer();
    App& app = openApp();
    ASSERT_TRUE(app.client->activate());
    ASSERT_TRUE(app.client->closeSession());
    EXPECT_EQ(server_->sessionCount(), 0u);
    EXPECT_EQ(journal_.lines.size(), 3u);
    EXPECT_EQ(journal_.lines[1], "deactivate");
    EXPECT_EQ(journal_.lines[2], "destroyed");
}

TEST_F(IMKServerTest, CommitRequestHidePalettesMenuAndActionsReachTheController) {
    startServer();
    App& app = openApp();
    ASSERT_TRUE(app.client->activate());
    ASSERT_TRUE(app.client->keyDown(key(0, "a")));
    ASSERT_TRUE(app.client->commitComposition());
    ASSERT_TRUE(app.client->hidePalettes());
    auto menu = app.client->menu();
    ASSERT_TRUE(menu);
    EXPECT_EQ(*menu, (std::vector<MenuItem>{{"设置…", "openSettings:", ""}}));
    EXPECT_EQ(*app.client->performMenuAction("openSettings:"), true);
    EXPECT_EQ(*app.client->performMenuAction("bogus:"), false);
    EXPECT_EQ(app.received, (std::vector<std::string>{"marked a sel=1,0 runs=1", "insert a"}));
    journal_.lines.erase(journal_.lines.begin());  // the activation
    EXPECT_EQ(journal_.lines, (std::vector<std::string>{"commit request", "hide palettes",
                                                        "action openSettings:", "action bogus:"}));
}

TEST_F(IMKServerTest, ASecondServerForTheSameNameIsRefusedWithAReason) {
    testing::ScopedLogCapture log;
    startServer();
    QDBusConnection second = connect("second");
    auto refused = IMKServer::create(kName, "cn.kestrum.inputmethod.Sorvane", {}, second);
    EXPECT_FALSE(refused);
    EXPECT_TRUE(
        log->contains("[Sorvane] IMKServer: cannot own cn.kestrum.inputmethod.Sorvane_Connection: the name "
                      "is owned by another process"));
    // The first one still serves.
    App& app = openApp();
    ASSERT_TRUE(app.client->activate());
    EXPECT_EQ(*app.client->keyDown(key(0, "a")), true);
}

TEST_F(IMKServerTest, AFactoryThatGivesNothingLeavesEveryKeyToTheApplication) {
    server_ = IMKServer::create(
        kName, "cn.kestrum.inputmethod.Sorvane",
        [](IMKServer*, InputClient&) { return std::unique_ptr<IMKInputController>(); }, *serverBus_);
    ASSERT_TRUE(server_);
    App& app = openApp();
    ASSERT_TRUE(app.client->activate());
    EXPECT_EQ(*app.client->keyDown(key(0, "a")), false);
    EXPECT_TRUE(app.client->menu()->empty());
}

// Takes every call and never answers it.
class SilentServer final : public QDBusVirtualObject {
public:
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage&, const QDBusConnection&) override { return true; }
};

TEST_F(IMKServerTest, ACallThatIsNeverAnsweredEndsAtItsTimeOut) {
    SilentServer silent;
    ASSERT_TRUE(serverBus_->registerVirtualObject(QString::fromLatin1(imkwire::kServerPath), &silent));
    ASSERT_TRUE(serverBus_->registerService(kName));
    IMKClient client(connect("app"), kName, nullptr, std::chrono::milliseconds(200));
    ASSERT_TRUE(client.waitForServer(std::chrono::seconds(10)));
    const auto opened = client.openSession();
    ASSERT_FALSE(opened);
    EXPECT_NE(opened.error().find("NoReply"), std::string::npos) << opened.error();
    serverBus_->unregisterObject(QString::fromLatin1(imkwire::kServerPath));
    serverBus_->unregisterService(kName);
}

TEST_F(IMKServerTest, TheNameIsReleasedWhenTheServerGoes) {
    startServer();
    server_.reset();
    auto again = IMKServer::create(kName, "cn.kestrum.inputmethod.Sorvane", {}, *serverBus_);
    EXPECT_TRUE(again);
}

}  // namespace
}  // namespace sorvane
