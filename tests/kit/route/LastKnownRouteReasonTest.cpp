// The no-route text against a Secret Service that never answers: the route
// choice stalls on the keychain off the main thread, and the main thread's
// reads of the text do not wait for it.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "kit/route/LastKnownRouteReason.h"
#include "kit/route/MacRouting.h"
#include "tests/support/PrivateBus.h"
#include "tests/support/PumpUntil.h"
#include "tests/support/TempHome.h"

namespace sorvane {
namespace {

using namespace std::chrono_literals;

// Owns the Secret Service's name and keeps every call waiting until told
// to refuse; from then on every call, held or new, gets an error at once.
class SilentSecretService final : public QDBusVirtualObject {
public:
    explicit SilentSecretService(QDBusConnection connection) : connection_(std::move(connection)) {
        connection_.registerVirtualObject("/", this, QDBusConnection::SubPath);
        owned_ = connection_.interface()->registerService("org.freedesktop.secrets").value() ==
                 QDBusConnectionInterface::ServiceRegistered;
    }
    bool owned() const { return owned_; }
    int calls() const { return calls_; }

    // Qt may call this on its bus thread.
    bool handleMessage(const QDBusMessage& message, const QDBusConnection&) override {
        ++calls_;
        std::lock_guard guard(lock_);
        if (refusing_) {
            connection_.send(message.createErrorReply(QDBusError::ServiceUnknown, "gone"));
        } else {
            held_.push_back(message);
        }
        return true;
    }
    QString introspect(const QString&) const override { return {}; }

    void refuseFromNowOn() {
        std::lock_guard guard(lock_);
        refusing_ = true;
        for (const QDBusMessage& m : held_)
            connection_.send(m.createErrorReply(QDBusError::ServiceUnknown, "gone"));
        held_.clear();
    }

private:
    QDBusConnection connection_;
    bool owned_ = false;
    std::mutex lock_;
    bool refusing_ = false;
    std::atomic<int> calls_ = 0;
    QList<QDBusMessage> held_;
};

TEST(LastKnownRouteReason, AStalledSecretServiceNeverHoldsUpTheTextsReader) {
    int argc = 1;
    char name[] = "tests_kit";
    char* argv[] = {name, nullptr};
    std::unique_ptr<QCoreApplication> app;
    if (!QCoreApplication::instance()) app = std::make_unique<QCoreApplication>(argc, argv);
    testing::TempHome home;
    testing::PrivateBus bus;
    ASSERT_TRUE(bus.ok());
    {
        QDBusConnection connection =
            QDBusConnection::connectToBus(QString::fromStdString(bus.address()), "secrets");
        SilentSecretService service(connection);
        ASSERT_TRUE(service.owned());

        // The live wiring: the route choice on the prediction executor, the
        // text read on the main thread.
        LastKnownRouteReason reason([] { return MacRouting::noRouteReason(); });
        auto resolve = reason.refreshingOnNoRoute([] { return MacRouting::resolveRoute(); });
        std::atomic<bool> resolved = false;
        std::thread executor([&] {
            resolve();
            resolved = true;
        });
        // Asked directly, the keychain does stall: this is what the main
        // thread must never do.
        std::atomic<bool> answeredDirectly = false;
        std::thread direct([&] {
            MacRouting::signedIn();
            answeredDirectly = true;
        });
        // Not asserted: the threads must be joined whatever happens.
        EXPECT_TRUE(testing::pumpUntil([&] { return service.calls() > 0; }));
        // Time for both to stall, so that the reads below are made meanwhile.
        testing::pumpFor(200ms);
        for (int read = 0; read < 5; ++read) {
            const auto began = std::chrono::steady_clock::now();
            EXPECT_EQ(reason.current(), MacRouting::Copy::signInRequired);
            // A read that waited on the keychain would last until the
            // service answers, which it does only further down.
            EXPECT_LT(std::chrono::steady_clock::now() - began, 1s);
            testing::pumpFor(20ms);
        }
        EXPECT_FALSE(resolved);
        EXPECT_FALSE(answeredDirectly);

        // Once the service answers (with errors: signed out), the executor
        // finishes and the text stays the sign-in one.
        service.refuseFromNowOn();
        EXPECT_TRUE(testing::pumpUntil([&] { return resolved && answeredDirectly; }));
        executor.join();
        direct.join();
        EXPECT_EQ(reason.current(), MacRouting::Copy::signInRequired);
    }
    QDBusConnection::disconnectFromBus("secrets");
}

}  // namespace
}  // namespace sorvane
