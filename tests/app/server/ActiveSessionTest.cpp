// Two applications on their own bus connections, each with a session of the
// real server object and real controllers over the one engine: a session
// that is not active can neither see nor change the composition of the one
// being typed into.
#include <gtest/gtest.h>

#include <QDBusConnection>

#include "platform/imk/IMKClient.h"
#include "platform/imk/IMKServer.h"
#include "platform/imk/KeyScript.h"
#include "tests/app/panels/PanelTestSupport.h"
#include "tests/app/server/ControllerHarness.h"
#include "tests/support/PrivateBus.h"

namespace sorvane {
namespace {

constexpr const char* kName = "cn.kestrum.inputmethod.Sorvane_Connection";

class ActiveSessionTest : public testing::ControllerHarness {
protected:
    struct App {
        std::unique_ptr<IMKClient> client;
        std::vector<std::string> received;
        std::vector<bool> answers;
    };

    void SetUp() override {
        testing::panelTestApp();
        ControllerHarness::SetUp();
        ASSERT_TRUE(bus_.ok());
        server_ = IMKServer::create(
            kName, "cn.kestrum.inputmethod.Sorvane",
            [this](IMKServer* server, InputClient& client) {
                return std::make_unique<SorvaneInputController>(server, &client, environment());
            },
            connect());
        ASSERT_TRUE(server_);
    }

    void TearDown() override {
        apps_.clear();
        server_.reset();
        for (const auto& name : names_) QDBusConnection::disconnectFromBus(name);
        ControllerHarness::TearDown();
    }

    QDBusConnection connect() {
        names_.push_back(QStringLiteral("active-session-%1").arg(names_.size()));
        return QDBusConnection::connectToBus(QString::fromStdString(bus_.address()), names_.back());
    }

    App& open(const std::string& bundle) {
        auto app = std::make_unique<App>();
        app->client = std::make_unique<IMKClient>(connect(), kName);
        App* raw = app.get();
        app->client->onMarkedText = [raw](const MarkedTextUpdate& m) {
            raw->received.push_back("marked " + m.text);
        };
        app->client->onInsertText = [raw](const std::string& t) { raw->received.push_back("insert " + t); };
        app->client->setBundleIdentifier(bundle);
        EXPECT_TRUE(app->client->openSession());
        apps_.push_back(std::move(app));
        return *raw;
    }

    // Plays a key script over the bus; session commands go as calls.
    void send(App& app, std::string_view script) {
        auto steps = KeyScript::parse(script);
        ASSERT_TRUE(steps.hasValue()) << script;
        for (KeyScriptStep& step : steps.value()) {
            if (step.kind == KeyScriptStep::Kind::command) {
                if (step.command == "activate") {
                    ASSERT_TRUE(app.client->activate());
                } else if (step.command == "deactivate") {
                    ASSERT_TRUE(app.client->deactivate());
                } else if (step.command == "commit") {
                    ASSERT_TRUE(app.client->commitComposition());
                }
                continue;
            }
            if (step.kind != KeyScriptStep::Kind::key) continue;
            step.event.timestamp = (seconds_ += 0.05);
            auto answer = step.event.type == KeyEventType::keyDown ? app.client->keyDown(step.event)
                                                                   : app.client->flagsChanged(step.event);
            ASSERT_TRUE(answer);
            app.answers.push_back(*answer);
        }
    }

    testing::PrivateBus bus_;
    std::vector<QString> names_;
    std::unique_ptr<IMKServer> server_;
    std::vector<std::unique_ptr<App>> apps_;
};

TEST_F(ActiveSessionTest, AnInactiveSessionCanNeitherSeeNorChangeTheActiveComposition) {
    App& a = open("com.example.a");
    App& b = open("com.example.b");
    send(a, "{activate}ni");
    ASSERT_EQ(a.received, (std::vector<std::string>{"marked n", "marked ni"}));
    a.received.clear();

    // Before B was ever active: letters, Escape, Space and a commit request
    // all stay B's own keys, and nothing is sent to B.
    const char* intrusion = "hao{escape}{space}{return}{commit}";
    send(b, intrusion);
    EXPECT_EQ(b.answers, std::vector<bool>(6, false));
    EXPECT_TRUE(b.received.empty());
    send(a, "{space}");
    EXPECT_EQ(a.received, (std::vector<std::string>{"marked ", "insert 你"}));

    // B's activation ends A's: A's open composition goes into A's field.
    send(a, "hao");
    a.received.clear();
    send(b, "{activate}{deactivate}");
    ASSERT_FALSE(a.received.empty());
    EXPECT_TRUE(a.received.back().starts_with("insert ")) << a.received.back();

    // After B's activation ended, the same again.
    send(a, "{activate}ma");
    a.received.clear();
    b.answers.clear();
    b.received.clear();
    send(b, intrusion);
    EXPECT_EQ(b.answers, std::vector<bool>(6, false));
    EXPECT_TRUE(b.received.empty());
    send(a, "{space}");
    EXPECT_EQ(a.received, (std::vector<std::string>{"marked ", "insert 吗"}));
}

}  // namespace
}  // namespace sorvane
