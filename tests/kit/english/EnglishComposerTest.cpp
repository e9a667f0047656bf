#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "kit/english/EnglishComposer.h"
#include "platform/Text.h"
#include "prediction/PredictionText.h"
#include "tests/support/CapturingLogSink.h"
#include "tests/support/MemoryUserDefaults.h"
#include "tests/support/VirtualTime.h"

using namespace std::chrono_literals;
using sorvane::AcceptKeys;
using sorvane::CancellationError;
using sorvane::EnglishComposer;
using sorvane::EnglishComposerHost;
using sorvane::EnglishKey;
using sorvane::EnglishPanelModel;
using sorvane::EnglishPanelPhase;
using sorvane::PredictionError;
using sorvane::Suggestion;
using sorvane::SuggestionFailure;
using sorvane::SuggestionProvider;
using sorvane::SuggestionResult;
using sorvane::SuggestionTask;
using sorvane::TypingRhythm;
using sorvane::URLError;
using sorvane::testing::ScopedLogCapture;
using sorvane::testing::VirtualTime;
using Kind = EnglishPanelPhase::Kind;

namespace {

// Everything the composer told its host, in order.
class RecordingHost final : public EnglishComposerHost {
public:
    void englishCompositionChanged(const std::string& text, int caret) override {
        marked = text;
        markedCaret = caret;
        events.push_back("marked:" + text + "|" + std::to_string(caret));
    }
    void englishCompositionCleared() override {
        marked.clear();
        events.push_back("cleared");
    }
    void insertText(const std::string& text) override {
        inserted.push_back(text);
        events.push_back("insert:" + text);
    }
    void showEnglishPanel(const EnglishPanelModel& model) override {
        panel = model;
        panelVisible = true;
        events.push_back("panel");
    }
    void hideEnglishPanel() override {
        panelVisible = false;
        events.push_back("hide");
    }

    std::string marked;
    int markedCaret = -1;
    std::vector<std::string> inserted;
    std::optional<EnglishPanelModel> panel;
    bool panelVisible = false;
    std::vector<std::string> events;
};

// A provider whose requests the test answers by hand. Like the real one it
// makes no request for fewer than two words and uses the real re-split rule.
class ScriptedProvider final : public SuggestionProvider {
public:
    struct Request {
        std::string text;
        PartialHandler onPartial;
        std::shared_ptr<SuggestionTask> task;
    };

    std::shared_ptr<SuggestionTask> schedule(const std::string& text, PartialHandler onPartial) override {
        if (!requests.empty()) requests.back().task->cancel();
        if (sorvane::PredictionText::wordCount(text) < 2) return nullptr;
        // Cancelling only marks the task, so that a test can still deliver a
        // late (stale) result for it.
        auto task = std::make_shared<SuggestionTask>();
        requests.push_back({text, std::move(onPartial), task});
        return task;
    }
    void cancelInFlight() override {
        ++remoteCancels;
        if (!requests.empty()) requests.back().task->cancel();
    }
    std::optional<Suggestion> prefixSuggestion(const Suggestion& last,
                                               const std::string& newText) const override {
        return sorvane::PredictionText::prefixSuggestion(last, newText);
    }

    // Delivered from another thread, as the real service does.
    void partial(std::size_t index, Suggestion s) {
        auto handler = requests.at(index).onPartial;
        std::thread([handler, s] { handler(s); }).join();
    }
    void finish(std::size_t index, SuggestionResult result) {
        auto task = requests.at(index).task;
        std::thread([task, result] { task->finish(result); }).join();
    }
    std::vector<std::string> texts() const {
        std::vector<std::string> out;
        for (const auto& r : requests) out.push_back(r.text);
        return out;
    }

    std::vector<Request> requests;
    int remoteCancels = 0;
};

struct Rig {
    VirtualTime time;
    RecordingHost host;
    std::shared_ptr<ScriptedProvider> provider = std::make_shared<ScriptedProvider>();
    EnglishComposer composer{&host, provider, time};

    Rig() {
        composer.setClock(
            [this] { return std::chrono::duration<double>(time.steadyNow().time_since_epoch()).count(); });
    }

    // Types each Character as its own key, `gap` apart, running due tasks.
    void type(std::string_view text, std::chrono::milliseconds gap = 50ms) {
        for (const auto& c : sorvane::Text::characters(text)) {
            EXPECT_TRUE(composer.handle(EnglishKey::text(c))) << c;
            time.advance(gap);
        }
    }
    bool press(const EnglishKey& key) {
        bool taken = composer.handle(key);
        time.runPending();
        return taken;
    }
    Kind panelKind() const { return host.panel->phase().kind(); }
    std::size_t eventIndex(const std::string& event) const {
        for (std::size_t i = 0; i < host.events.size(); ++i)
            if (host.events[i] == event) return i;
        return host.events.size();
    }
};

const Suggestion want{"I want to book", " a table."};

// Types "wo xiang book", waits for the pause and streams `want`.
void typeAndSuggest(Rig& rig) {
    rig.type("wo xiang book");
    rig.time.advance(1s);
    ASSERT_FALSE(rig.provider->requests.empty());
    rig.provider->partial(rig.provider->requests.size() - 1, want);
    rig.time.runPending();
    ASSERT_EQ(rig.composer.suggestion(), want);
}

}  // namespace

TEST(EnglishComposer, SentenceTypedKeyByKeyStreamsASuggestionAndTabCommitsIt) {
    Rig rig;
    rig.composer.setWaitingDelayResolver([] { return 0.5; });

    const std::string sentence = "wo xiang book";
    for (std::size_t i = 1; i <= sentence.size(); ++i) {
        ASSERT_TRUE(rig.composer.handle(EnglishKey::text(sentence.substr(i - 1, 1))));
        EXPECT_EQ(rig.host.marked, sentence.substr(0, i));
        EXPECT_EQ(rig.host.markedCaret, static_cast<int>(i));
        EXPECT_EQ(rig.composer.caret(), static_cast<int>(i));
        ASSERT_TRUE(rig.host.panel);
        EXPECT_EQ(rig.panelKind(), Kind::typing);
        EXPECT_EQ(rig.host.panel->buffer(), sentence.substr(0, i));
        rig.time.advance(100ms);  // shorter than the waiting delay
        EXPECT_EQ(rig.panelKind(), Kind::typing);
    }
    // One word asks for nothing; from the second word on each key asks anew.
    EXPECT_EQ(rig.provider->texts().front(), "wo x");
    EXPECT_EQ(rig.provider->texts().back(), sentence);

    rig.time.advance(399ms);
    EXPECT_EQ(rig.panelKind(), Kind::typing);
    rig.time.advance(1ms);  // the resolver's 0.5 s have passed since the last key
    EXPECT_EQ(rig.panelKind(), Kind::requesting);
    EXPECT_TRUE(rig.host.panel->isWaiting());

    const auto last = rig.provider->requests.size() - 1;
    rig.provider->partial(last, {"I want", ""});
    rig.time.runPending();
    EXPECT_EQ(rig.panelKind(), Kind::suggestion);
    EXPECT_EQ(rig.host.panel->normalized(), "I want");
    EXPECT_FALSE(rig.host.panel->isWaiting());
    rig.provider->partial(last, want);
    rig.time.runPending();
    EXPECT_EQ(rig.host.panel->normalized(), "I want to book");
    EXPECT_EQ(rig.host.panel->continuation(), " a table.");
    EXPECT_EQ(rig.host.panel->acceptKeys(), AcceptKeys::tabNormalized);
    rig.provider->finish(last, want);
    rig.time.runPending();
    EXPECT_EQ(rig.panelKind(), Kind::suggestion);

    rig.host.events.clear();
    EXPECT_TRUE(rig.press(EnglishKey::acceptNormalized()));
    EXPECT_EQ(rig.host.inserted, std::vector<std::string>{"I want to book"});
    EXPECT_LT(rig.eventIndex("cleared"), rig.eventIndex("insert:I want to book"));
    EXPECT_LT(rig.eventIndex("hide"), rig.eventIndex("insert:I want to book"));
    EXPECT_FALSE(rig.host.panelVisible);
    EXPECT_EQ(rig.composer.buffer(), "");
    EXPECT_EQ(rig.composer.caret(), 0);
    EXPECT_FALSE(rig.composer.suggestion());
    // Tab now has nothing to take and reaches the application.
    EXPECT_FALSE(rig.press(EnglishKey::acceptNormalized()));
}

TEST(EnglishComposer, ShiftTabCommitsTheRewriteWithItsContinuation) {
    Rig rig;
    typeAndSuggest(rig);
    rig.host.events.clear();
    EXPECT_TRUE(rig.press(EnglishKey::acceptFull()));
    EXPECT_EQ(rig.host.events.front(), "hide");
    EXPECT_EQ(rig.host.events,
              (std::vector<std::string>{"hide", "cleared", "insert:I want to book a table."}));
}

TEST(EnglishComposer, AcceptNeedsSomethingToTake) {
    Rig rig;
    rig.type("wo xiang");
    EXPECT_FALSE(rig.press(EnglishKey::acceptNormalized()));  // no suggestion
    EXPECT_FALSE(rig.press(EnglishKey::acceptFull()));

    rig.provider->partial(rig.provider->requests.size() - 1, {"", "and more"});
    rig.time.runPending();
    EXPECT_FALSE(rig.press(EnglishKey::acceptNormalized()));  // nothing rewritten
    EXPECT_TRUE(rig.press(EnglishKey::acceptFull()));
    EXPECT_EQ(rig.host.inserted, std::vector<std::string>{"and more"});

    Rig other;
    other.type("wo xiang");
    other.provider->partial(other.provider->requests.size() - 1, {"I want", ""});
    other.time.runPending();
    EXPECT_TRUE(other.press(EnglishKey::acceptFull()));  // empty continuation: the rewrite alone
    EXPECT_EQ(other.host.inserted, std::vector<std::string>{"I want"});
}

TEST(EnglishComposer, StalePartialsAndResultsAreDropped) {
    ScopedLogCapture log;
    Rig rig;
    rig.type("wo xiang");
    const auto old = rig.provider->requests.size() - 1;
    rig.type(" b");
    ASSERT_GT(rig.provider->requests.size(), old + 1);

    // Older generation and a different buffer.
    rig.provider->partial(old, {"I want", " more"});
    rig.time.runPending();
    EXPECT_FALSE(rig.composer.suggestion());
    EXPECT_NE(rig.panelKind(), Kind::suggestion);

    // A stale failure is logged but not shown.
    rig.provider->finish(old, sorvane::unexpected(SuggestionFailure(PredictionError::rateLimited())));
    rig.time.runPending();
    EXPECT_NE(rig.panelKind(), Kind::failed);
    EXPECT_TRUE(log->contains("[Sorvane] prediction unavailable: rateLimited"));

    // The current one still applies; an empty suggestion does not.
    const auto current = rig.provider->requests.size() - 1;
    rig.provider->partial(current, {"  ", "\n"});
    rig.time.runPending();
    EXPECT_FALSE(rig.composer.suggestion());
    rig.provider->partial(current, {"I want b", ""});
    rig.time.runPending();
    EXPECT_EQ(rig.panelKind(), Kind::suggestion);
}

TEST(EnglishComposer, FailureAfterAPartialKeepsTheSuggestion) {
    Rig rig;
    typeAndSuggest(rig);
    rig.provider->finish(rig.provider->requests.size() - 1,
                         sorvane::unexpected(SuggestionFailure(URLError{URLError::timedOut, "timed out"})));
    rig.time.runPending();
    EXPECT_EQ(rig.panelKind(), Kind::suggestion);
    EXPECT_EQ(rig.composer.suggestion(), want);
}

TEST(EnglishComposer, RequestEndingWithoutSuggestionReturnsToTyping) {
    Rig rig;
    rig.type("wo xiang");
    rig.time.advance(1s);
    EXPECT_EQ(rig.panelKind(), Kind::requesting);
    rig.provider->finish(rig.provider->requests.size() - 1,
                         sorvane::unexpected(SuggestionFailure(PredictionError::tooShort())));
    rig.time.runPending();
    EXPECT_EQ(rig.panelKind(), Kind::typing);
    rig.time.advance(5s);
    EXPECT_EQ(rig.panelKind(), Kind::typing);  // no late waiting indicator
}

TEST(EnglishComposer, EachErrorShowsItsPanelText) {
    struct Case {
        SuggestionFailure failure;
        std::optional<std::string> text;
    };
    const Case cases[] = {
        {CancellationError{}, std::nullopt},
        {PredictionError::httpStatus(500, "boom"), "请求失败"},
        {PredictionError::decoding("bad"), "请求失败"},
        {PredictionError::missingAPIKey(), "还没填写 DeepSeek Key · 见设置"},
        {PredictionError::emptyResponse(), "请求失败"},
        {PredictionError::tooShort(), std::nullopt},
        {PredictionError::quotaExceeded(), "今日 AI 额度已用完"},
        {PredictionError::rateLimited(), "请求太频繁，稍后再试"},
        {PredictionError::loginRequired(), "请先登录微信 · 见设置"},
        {PredictionError::ownKeyInvalid(), "DeepSeek Key 无效 · 见设置"},
        {PredictionError::ownKeyBalanceEmpty(), "DeepSeek 余额不足 · 去 DeepSeek 充值"},
        {URLError{URLError::cancelled, ""}, std::nullopt},
        {URLError{URLError::timedOut, ""}, "超时"},
        {URLError{URLError::notConnectedToInternet, ""}, "离线"},
        {URLError{URLError::networkConnectionLost, ""}, "离线"},
        {URLError{URLError::cannotFindHost, ""}, "离线"},
        {URLError{URLError::cannotConnectToHost, ""}, "离线"},
        {URLError{-1006, ""}, "离线"},
        {URLError{-1020, ""}, "离线"},
        {URLError{-1018, ""}, "离线"},
        {URLError{URLError::unknown, ""}, "请求失败"},
        {URLError{-1202, ""}, "请求失败"},
    };
    for (const auto& c : cases) {
        Rig rig;
        rig.composer.setNoRouteReason([] { return std::string("还没填写 DeepSeek Key · 见设置"); });
        rig.type("wo xiang");
        rig.provider->finish(rig.provider->requests.size() - 1, sorvane::unexpected(c.failure));
        rig.time.runPending();
        if (c.text) {
            ASSERT_EQ(rig.panelKind(), Kind::failed) << *c.text;
            EXPECT_EQ(rig.host.panel->phase().reason(), *c.text);
            EXPECT_FALSE(rig.host.panel->isWaiting());
            rig.time.advance(2s);
            EXPECT_EQ(rig.panelKind(), Kind::failed) << "the waiting indicator never replaces a failure";
        } else {
            EXPECT_NE(rig.panelKind(), Kind::failed);
        }
        EXPECT_EQ(
            EnglishComposer::reason(c.failure, [] { return std::string("还没填写 DeepSeek Key · 见设置"); }),
            c.text);
    }
    EXPECT_EQ(EnglishComposer::reason(PredictionError::missingAPIKey(), {}), "请先登录微信 · 见设置");
}

TEST(EnglishComposer, LogsOnlyTheFirstFailure) {
    ScopedLogCapture log;
    Rig rig;
    rig.type("wo xiang");
    rig.provider->finish(rig.provider->requests.size() - 1,
                         sorvane::unexpected(SuggestionFailure(PredictionError::httpStatus(503, "x"))));
    rig.time.runPending();
    rig.type(" b");
    rig.provider->finish(rig.provider->requests.size() - 1,
                         sorvane::unexpected(SuggestionFailure(URLError{URLError::timedOut, ""})));
    rig.time.runPending();
    EXPECT_EQ(rig.host.panel->phase(), EnglishPanelPhase::failed("超时"));
    EXPECT_EQ(log->messages(), std::vector<std::string>{"[Sorvane] prediction unavailable: httpStatus(503)"});
}

TEST(EnglishComposer, EscapeDropsTheSuggestionThenTheBuffer) {
    Rig rig;
    EXPECT_FALSE(rig.press(EnglishKey::escape()));  // empty buffer: the application's
    typeAndSuggest(rig);
    const int cancels = rig.provider->remoteCancels;
    rig.host.events.clear();
    EXPECT_TRUE(rig.press(EnglishKey::escape()));
    EXPECT_EQ(rig.host.events, std::vector<std::string>{"hide"});
    EXPECT_EQ(rig.composer.buffer(), "wo xiang book");
    EXPECT_EQ(rig.host.marked, "wo xiang book");
    EXPECT_EQ(rig.composer.phase(), EnglishPanelPhase::typing());
    EXPECT_GT(rig.provider->remoteCancels, cancels);

    EXPECT_TRUE(rig.press(EnglishKey::escape()));
    EXPECT_EQ(rig.composer.buffer(), "");
    EXPECT_EQ(rig.host.events.back(), "cleared");
    EXPECT_TRUE(rig.host.inserted.empty());
    EXPECT_FALSE(rig.press(EnglishKey::escape()));
}

TEST(EnglishComposer, BackspaceAlwaysAsksAgainAndEmptyingHidesEverything) {
    Rig rig;
    typeAndSuggest(rig);
    const auto before = rig.provider->requests.size();
    EXPECT_TRUE(rig.press(EnglishKey::backspace()));
    // "wo xiang boo" runs along the suggestion, yet a fresh request goes out.
    EXPECT_EQ(rig.provider->requests.size(), before + 1);
    EXPECT_EQ(rig.provider->texts().back(), "wo xiang boo");
    EXPECT_FALSE(rig.composer.suggestion());
    EXPECT_EQ(rig.host.marked, "wo xiang boo");
    EXPECT_EQ(rig.panelKind(), Kind::typing);

    EXPECT_TRUE(rig.press(EnglishKey::caretHome()));
    rig.host.events.clear();
    EXPECT_TRUE(rig.press(EnglishKey::backspace()));  // at the start: taken, nothing changes
    EXPECT_TRUE(rig.host.events.empty());
    EXPECT_EQ(rig.composer.buffer(), "wo xiang boo");

    Rig small;
    small.type("a");
    EXPECT_TRUE(small.press(EnglishKey::backspace()));
    EXPECT_EQ(small.composer.buffer(), "");
    EXPECT_FALSE(small.host.panelVisible);
    EXPECT_EQ(small.host.events.back(), "cleared");
    EXPECT_FALSE(small.press(EnglishKey::backspace()));
}

TEST(EnglishComposer, TypingAlongTheSuggestionKeepsItWithoutARequest) {
    Rig rig;
    rig.type("i think");
    rig.provider->partial(rig.provider->requests.size() - 1, {"I think", " this works."});
    rig.time.runPending();
    const auto before = rig.provider->requests.size();
    rig.type(" th");
    EXPECT_EQ(rig.provider->requests.size(), before);
    EXPECT_EQ(rig.composer.suggestion(), (Suggestion{"I think th", "is works."}));
    EXPECT_EQ(rig.panelKind(), Kind::suggestion);
    // Typing the whole of it leaves nothing to continue: ask again.
    rig.type("is works.");
    EXPECT_EQ(rig.provider->requests.size(), before + 1);
    EXPECT_EQ(rig.provider->texts().back(), "i think this works.");
}

TEST(EnglishComposer, CaretMovesEditInPlaceWithUtf16Offsets) {
    Rig rig;
    // A letter, an emoji outside the BMP (two UTF-16 units) and e with a
    // combining acute typed as one key.
    rig.type("a");
    EXPECT_TRUE(rig.composer.handle(EnglishKey::text("\U0001F600")));
    EXPECT_TRUE(rig.composer.handle(EnglishKey::text("e\u0301")));
    EXPECT_EQ(rig.composer.caret(), 3);
    EXPECT_EQ(rig.host.markedCaret, 5);
    EXPECT_TRUE(rig.press(EnglishKey::caretLeft()));
    EXPECT_EQ(rig.host.markedCaret, 3);
    EXPECT_TRUE(rig.press(EnglishKey::caretLeft()));
    EXPECT_EQ(rig.host.markedCaret, 1);
    EXPECT_TRUE(rig.press(EnglishKey::text("b")));
    EXPECT_EQ(rig.composer.buffer(), "ab\U0001F600e\u0301");
    EXPECT_EQ(rig.composer.caret(), 2);
    EXPECT_EQ(rig.host.markedCaret, 2);
    EXPECT_TRUE(rig.press(EnglishKey::caretEnd()));
    EXPECT_EQ(rig.host.markedCaret, 6);
    rig.host.events.clear();
    EXPECT_TRUE(rig.press(EnglishKey::caretRight()));  // already at the end: taken, unchanged
    EXPECT_TRUE(rig.host.events.empty());
    // A combining mark typed on its own joins the letter before it; the caret
    // stays inside the buffer and Backspace removes the joined Character.
    EXPECT_TRUE(rig.press(EnglishKey::text("\u0301")));
    EXPECT_EQ(rig.composer.caret(), 4);
    EXPECT_TRUE(rig.press(EnglishKey::backspace()));
    EXPECT_EQ(rig.composer.buffer(), "ab\U0001F600");
    EXPECT_EQ(rig.host.markedCaret, 4);

    Rig empty;
    for (auto key : {EnglishKey::caretLeft(), EnglishKey::caretRight(), EnglishKey::caretHome(),
                     EnglishKey::caretEnd(), EnglishKey::commitRaw()}) {
        EXPECT_FALSE(empty.press(key));
    }
}

TEST(EnglishComposer, FirstKeyMustStartASentence) {
    struct Case {
        std::string key;
        bool taken;
    };
    const Case cases[] = {{" ", false}, {",", false}, {"", false},  {"\t", false},   {"7", true},
                          {"é", true},  {"a", true},  {"中", true}, {"\u0301", true}};
    for (const auto& c : cases) {
        Rig rig;
        EXPECT_EQ(rig.press(EnglishKey::text(c.key)), c.taken) << c.key;
    }
    Rig rig;
    rig.type("a");
    EXPECT_TRUE(rig.press(EnglishKey::text(" ")));
    EXPECT_TRUE(rig.press(EnglishKey::text(",")));
    EXPECT_FALSE(rig.press(EnglishKey::text("")));
}

TEST(EnglishComposer, BlankBufferAsksForNothing) {
    Rig rig;
    rig.type("a  ");
    EXPECT_TRUE(rig.press(EnglishKey::caretHome()));
    EXPECT_TRUE(rig.press(EnglishKey::caretRight()));
    EXPECT_TRUE(rig.press(EnglishKey::backspace()));
    EXPECT_EQ(rig.composer.buffer(), "  ");
    EXPECT_TRUE(rig.press(EnglishKey::caretEnd()));
    const auto before = rig.provider->requests.size();
    EXPECT_TRUE(rig.press(EnglishKey::text(" ")));
    EXPECT_EQ(rig.provider->requests.size(), before);
    EXPECT_EQ(rig.panelKind(), Kind::typing);
    rig.time.advance(2s);
    EXPECT_EQ(rig.panelKind(), Kind::typing);
}

TEST(EnglishComposer, ReturnCommitsTheBufferAsTyped) {
    Rig rig;
    typeAndSuggest(rig);
    rig.host.events.clear();
    EXPECT_TRUE(rig.press(EnglishKey::commitRaw()));
    EXPECT_EQ(rig.host.events, (std::vector<std::string>{"hide", "cleared", "insert:wo xiang book"}));
    EXPECT_FALSE(rig.press(EnglishKey::commitRaw()));
}

// However many keys a client sends, the sentence stays within the bound: the
// key that would pass it commits the sentence as typed first.
TEST(EnglishComposer, ASentenceAtTheBoundIsCommittedBeforeTheNextKey) {
    constexpr std::size_t bound = EnglishComposer::maximumBufferCharacters;
    const std::string almost = "a" + std::string(bound - 2, 'b');
    Rig rig;
    rig.composer.begin(almost);
    EXPECT_TRUE(rig.press(EnglishKey::text("c")));  // exactly at the bound
    ASSERT_EQ(rig.composer.buffer().size(), bound);
    EXPECT_TRUE(rig.host.inserted.empty());
    EXPECT_TRUE(rig.press(EnglishKey::text("d")));
    EXPECT_EQ(rig.host.inserted, std::vector<std::string>{almost + "c"});
    EXPECT_EQ(rig.composer.buffer(), "d");
    EXPECT_EQ(rig.host.marked, "d");

    // A key that cannot start a sentence goes to the application after it.
    rig.composer.begin(almost + "c");
    EXPECT_FALSE(rig.press(EnglishKey::text(" ")));
    EXPECT_EQ(rig.host.inserted.back(), almost + "c");
    EXPECT_EQ(rig.composer.buffer(), "");

    // Carried text past the bound is inserted as it stands.
    const std::string tooLong(bound + 1, 'x');
    rig.composer.begin(tooLong);
    EXPECT_EQ(rig.host.inserted.back(), tooLong);
    EXPECT_EQ(rig.composer.buffer(), "");
}

TEST(EnglishComposer, PredictionOffSendsNothing) {
    Rig rig;
    rig.type("wo xiang");
    ASSERT_FALSE(rig.provider->requests.empty());
    rig.composer.setPredictionEnabled(false);  // resets
    rig.time.runPending();
    EXPECT_EQ(rig.composer.buffer(), "");
    EXPECT_FALSE(rig.host.panelVisible);
    EXPECT_EQ(rig.host.marked, "");
    EXPECT_TRUE(rig.host.inserted.empty());

    const auto before = rig.provider->requests.size();
    for (auto key : {EnglishKey::text("h"), EnglishKey::text("i"), EnglishKey::acceptNormalized(),
                     EnglishKey::commitRaw(), EnglishKey::escape(), EnglishKey::backspace()}) {
        EXPECT_FALSE(rig.press(key));
    }
    rig.time.advance(5s);
    EXPECT_EQ(rig.provider->requests.size(), before);
    rig.composer.begin("你好");
    EXPECT_EQ(rig.host.inserted, std::vector<std::string>{"你好"});
    EXPECT_EQ(rig.composer.buffer(), "");

    rig.composer.setPredictionEnabled(true);
    EXPECT_TRUE(rig.press(EnglishKey::text("h")));
}

TEST(EnglishComposer, BeginCarriesTextOverFromChinese) {
    Rig rig;
    rig.composer.begin("");
    EXPECT_TRUE(rig.host.events.empty());
    rig.composer.begin("，我想 book");  // no first-key rule here
    rig.time.runPending();
    EXPECT_EQ(rig.composer.buffer(), "，我想 book");
    EXPECT_EQ(rig.composer.caret(), 8);
    EXPECT_EQ(rig.host.markedCaret, 8);
    EXPECT_EQ(rig.provider->texts().back(), "，我想 book");
}

TEST(EnglishComposer, CommitBufferSavesTheRhythmAndHidesAPendingRequest) {
    Rig rig;
    auto defaults = std::make_shared<sorvane::testing::MemoryUserDefaults>();
    auto rhythm = std::make_shared<TypingRhythm>(defaults, [&rig] { return rig.time.now(); });
    rig.composer.setRhythm(rhythm);

    rig.composer.commitBuffer();  // nothing typed: only the (empty) save
    EXPECT_TRUE(rig.host.events.empty());
    EXPECT_FALSE(defaults->value(TypingRhythm::defaultsKey));

    rig.type("wo", 150ms);
    rig.press(EnglishKey::backspace());
    rig.time.advance(100ms);
    rig.type("o", 3s);  // too long a gap to count
    rig.type("k", 40ms);
    EXPECT_EQ(rhythm->sampleCount(), 2u);  // the 3 s before "k" is too long to count
    auto samples = rhythm->snapshot().samples;
    ASSERT_EQ(samples.size(), 2u);
    EXPECT_EQ(samples[0].ms, 150);
    EXPECT_EQ(samples[1].ms, 100);  // after Backspace the gap counts from the Backspace

    rig.composer.commitBuffer();
    EXPECT_EQ(rig.host.inserted, std::vector<std::string>{"wok"});
    EXPECT_TRUE(defaults->value(TypingRhythm::defaultsKey));
}

TEST(EnglishComposer, WaitingDelayFallsBackToTheFixedDelay) {
    Rig rig;
    EXPECT_DOUBLE_EQ(rig.composer.waitingDelay(), 0.3);
    rig.type("wo xiang", 0ms);
    rig.time.advance(299ms);
    EXPECT_EQ(rig.panelKind(), Kind::typing);
    rig.time.advance(1ms);
    EXPECT_EQ(rig.panelKind(), Kind::requesting);

    Rig zero;
    zero.composer.setWaitingDelayResolver([] { return std::nan(""); });
    zero.type("wo xiang", 0ms);
    zero.time.runPending();
    EXPECT_EQ(zero.panelKind(), Kind::requesting);
}

TEST(EnglishComposer, AComposerFreedDuringARequestDropsItsResults) {
    VirtualTime time;
    RecordingHost host;
    auto provider = std::make_shared<ScriptedProvider>();
    auto composer = std::make_unique<EnglishComposer>(&host, provider, time);
    for (char c : std::string("wo xiang")) composer->handle(EnglishKey::text(std::string(1, c)));
    time.runPending();
    ASSERT_FALSE(provider->requests.empty());
    composer.reset();
    host.events.clear();
    provider->partial(provider->requests.size() - 1, want);
    time.advance(2s);
    EXPECT_TRUE(host.events.empty());
}

// Partials that come faster than the main thread takes them are shown once,
// as the newest; one longer than any request allows is cut to the bound.
TEST(EnglishComposer, PartialsArrivingTogetherAreShownOnceAndBounded) {
    Rig rig;
    rig.type("wo xiang book");
    rig.time.advance(1s);
    ASSERT_FALSE(rig.provider->requests.empty());
    const auto last = rig.provider->requests.size() - 1;
    const auto panelsBefore = std::count(rig.host.events.begin(), rig.host.events.end(), "panel");
    rig.provider->partial(last, {"I", ""});
    rig.provider->partial(last, {"I want", ""});
    std::string endless = "I want to book";
    while (endless.size() < 3 * Suggestion::maximumCharacters) endless += " a table";
    rig.provider->partial(last, {endless, " now"});
    rig.time.runPending();
    EXPECT_EQ(std::count(rig.host.events.begin(), rig.host.events.end(), "panel") - panelsBefore, 1);
    ASSERT_TRUE(rig.host.panel);
    EXPECT_EQ(rig.host.panel->normalized(), endless.substr(0, Suggestion::maximumCharacters));
    EXPECT_EQ(rig.host.panel->continuation(), "");
}
