// The composer over the real prediction service, libcurl and a loopback
// chat-completion server: typed words become a streamed suggestion.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <nlohmann/json.hpp>

#include "kit/english/EnglishComposer.h"
#include "prediction/PredictionService.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/PumpUntil.h"
#include "tests/support/VirtualTime.h"

using namespace std::chrono_literals;
using nlohmann::json;
using sorvane::EnglishComposer;
using sorvane::EnglishComposerHost;
using sorvane::EnglishKey;
using sorvane::EnglishPanelModel;
using sorvane::EnglishPanelPhase;
using sorvane::PredictionRoute;
using sorvane::PredictionService;
using sorvane::Suggestion;
using sorvane::testing::LoopbackServer;
using sorvane::testing::VirtualTime;

namespace {

std::string frame(std::string_view content) {
    json j = {{"choices", json::array({{{"delta", {{"content", content}}}}})}};
    return "data: " + j.dump() + "\n\n";
}

class PanelRecorder final : public EnglishComposerHost {
public:
    void englishCompositionChanged(const std::string& text, int) override { marked = text; }
    void englishCompositionCleared() override {
        marked.clear();
        events.push_back("cleared");
    }
    void insertText(const std::string& text) override { events.push_back("insert:" + text); }
    void showEnglishPanel(const EnglishPanelModel& model) override {
        panels.push_back(model);
        if (model.phase() == EnglishPanelPhase::suggestion()) ++suggestionsShown;
    }
    void hideEnglishPanel() override { events.push_back("hide"); }

    std::string marked;
    std::vector<EnglishPanelModel> panels;
    std::vector<std::string> events;
    std::atomic<int> suggestionsShown{0};  // read by the server's thread
};

}  // namespace

TEST(EnglishComposerLive, TypedWordsBecomeAStreamedSuggestionAndTabCommitsIt) {
    std::mutex mutex;
    std::vector<std::string> userTexts;
    PanelRecorder host;
    LoopbackServer server;
    server->Post("/chat/completions", [&](const httplib::Request& req, httplib::Response& res) {
        {
            std::lock_guard lock(mutex);
            userTexts.push_back(json::parse(req.body)["messages"][1]["content"].get<std::string>());
        }
        const std::vector<std::string> pieces = {frame(R"({"normalized": "I want)"),
                                                 frame(R"( to book", "continuation": "a)"),
                                                 frame(R"( table."})"), "data: [DONE]\n\n"};
        res.set_chunked_content_provider(
            "text/event-stream", [pieces, &host](size_t, httplib::DataSink& sink) {
                // Each piece once the panel shows the one before: the composer
                // shows only the newest of the partials it has not taken yet.
                for (int i = 0; i < int(pieces.size()); ++i) {
                    if (!sink.write(pieces[i].data(), pieces[i].size())) return false;
                    if (i + 1 < int(pieces.size()))
                        sorvane::testing::waitUntil([&] { return host.suggestionsShown > i; });
                }
                sink.done();
                return true;
            });
    });
    server.start();

    VirtualTime time;
    PredictionService::Session session;
    session.baseURL = server.baseURL();
    session.resolveKey = [] { return std::optional<std::string>("sk-live-test-0123456789"); };
    auto service = std::make_shared<PredictionService>(
        [] { return std::optional<PredictionRoute>(PredictionRoute::ownKey("sk-live-test-0123456789")); },
        [](const sorvane::PredictionError&) {}, PredictionService::UsageHandler{}, [] { return 0.05; },
        session);
    EnglishComposer composer(&host, service, time);

    for (char c : std::string("wo xiang book")) {
        ASSERT_TRUE(composer.handle(EnglishKey::text(std::string(1, c))));
        time.advance(10ms);
    }
    EXPECT_EQ(host.marked, "wo xiang book");

    const Suggestion expected{"I want to book", " a table."};
    sorvane::testing::waitUntil([&] {
        time.runPending();
        return composer.suggestion() == expected;
    });
    ASSERT_EQ(composer.suggestion(), expected);
    EXPECT_EQ(composer.phase(), EnglishPanelPhase::suggestion());

    // The earlier keys' requests were replaced during the pause and never
    // reached the network.
    {
        std::lock_guard lock(mutex);
        EXPECT_EQ(userTexts, std::vector<std::string>{"Input: wo xiang book\nOutput:"});
    }
    // The suggestion grew in the panel as it streamed.
    std::vector<std::string> shown;
    for (const auto& model : host.panels) {
        if (model.phase() == EnglishPanelPhase::suggestion() &&
            (shown.empty() || shown.back() != model.normalized() + "|" + model.continuation())) {
            shown.push_back(model.normalized() + "|" + model.continuation());
        }
    }
    ASSERT_GE(shown.size(), 2u);
    EXPECT_EQ(shown.front(), "I want|");
    EXPECT_EQ(shown.back(), "I want to book| a table.");

    EXPECT_TRUE(composer.handle(EnglishKey::acceptNormalized()));
    time.runPending();
    EXPECT_EQ(host.events, (std::vector<std::string>{"hide", "cleared", "insert:I want to book"}));
    EXPECT_EQ(composer.buffer(), "");
}
