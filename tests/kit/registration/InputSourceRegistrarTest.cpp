// The registrar over an in-memory input-source service and preferences, on a
// virtual clock: what it asks of the service, what it prints, how long it
// waits, and what it leaves in the enabled list.
#include <gtest/gtest.h>

#include <map>

#include "kit/registration/InputSourceRegistrar.h"
#include "tests/support/VirtualTime.h"

namespace sorvane {
namespace {

using json = nlohmann::json;
using std::chrono::milliseconds;

const std::string kBundle = "cn.kestrum.inputmethod.Sorvane";
const std::string kMode = "cn.kestrum.inputmethod.Sorvane.Hans";
const std::string kABC = "com.apple.keylayout.ABC";
const std::string kNotRegistered = "input source cn.kestrum.inputmethod.Sorvane.Hans is not registered\n";

struct FakeSource final : InputSource {
    std::optional<std::string> id;
    std::optional<bool> enabled, selected, selectCapable;
    InputSourceStatus enableStatus = 0;
    InputSourceStatus selectStatus = 0;
    // A source that goes away while it is being enabled.
    bool losesIdOnFailure = false;
};

std::shared_ptr<FakeSource> source(std::optional<std::string> id, std::optional<bool> enabled = false,
                                   std::optional<bool> selected = false,
                                   std::optional<bool> selectCapable = true) {
    auto s = std::make_shared<FakeSource>();
    s->id = std::move(id);
    s->enabled = enabled;
    s->selected = selected;
    s->selectCapable = selectCapable;
    return s;
}

class FakeSources final : public TextInputSources {
public:
    std::vector<std::shared_ptr<FakeSource>> sources;
    std::vector<std::string> calls;
    int listCalls = 0;

    InputSourceStatus registerBundle(const std::filesystem::path&) override { return 0; }
    std::vector<InputSourceRef> list() override {
        ++listCalls;
        return {sources.begin(), sources.end()};
    }
    std::optional<std::string> id(const InputSource& s) const override { return fake(s).id; }
    std::optional<bool> flag(const InputSource& s, Flag f) const override {
        const FakeSource& x = fake(s);
        return f == Flag::enabled ? x.enabled : f == Flag::selected ? x.selected : x.selectCapable;
    }
    InputSourceStatus enable(const InputSource& s) override {
        FakeSource& x = fake(s);
        calls.push_back("enable " + x.id.value_or("?"));
        if (x.enableStatus != 0) {
            if (x.losesIdOnFailure) x.id.reset();
            return x.enableStatus;
        }
        x.enabled = true;
        return 0;
    }
    InputSourceStatus disable(const InputSource& s) override {
        FakeSource& x = fake(s);
        calls.push_back("disable " + x.id.value_or("?"));
        x.enabled = false;
        return 0;
    }
    InputSourceStatus select(const InputSource& s) override {
        FakeSource& x = fake(s);
        calls.push_back("select " + x.id.value_or("?"));
        if (x.selectStatus != 0) return x.selectStatus;
        for (auto& other : sources) other->selected = false;
        x.selected = true;
        return 0;
    }
    InputSourceRef current() override {
        for (auto& s : sources) {
            if (s->selected.value_or(false)) return s;
        }
        return nullptr;
    }

private:
    FakeSource& fake(const InputSource& s) const {
        for (auto& x : sources) {
            if (x.get() == &s) return *x;
        }
        throw std::logic_error("unknown source");
    }
};

// One preferences domain, kept by the test so that its value outlives the
// registrar's store.
struct Domain {
    std::map<std::string, json, std::less<>> values;
    int writes = 0;
    bool failWrites = false;
};

class DomainDefaults final : public UserDefaults {
public:
    explicit DomainDefaults(Domain& d) : d_(d) {}
    std::optional<json> value(std::string_view key) const override {
        auto it = d_.values.find(key);
        if (it == d_.values.end()) return std::nullopt;
        return it->second;
    }
    bool setValue(std::string_view key, const json& value) override {
        ++d_.writes;
        if (d_.failWrites) return false;
        d_.values[std::string(key)] = value;
        return true;
    }
    bool remove(std::string_view key) override {
        d_.values.erase(std::string(key));
        return true;
    }

private:
    Domain& d_;
};

class VirtualRunLoop final : public RunLoop {
public:
    explicit VirtualRunLoop(testing::VirtualTime& time) : time_(time) {}
    std::vector<milliseconds> slices;
    std::function<void(std::size_t)> afterSlice;
    void runFor(milliseconds d) override {
        slices.push_back(d);
        time_.advance(d);
        if (afterSlice) afterSlice(slices.size());
    }

private:
    testing::VirtualTime& time_;
};

// Everything one registrar runs on; a table's case makes a fresh one.
struct Harness {
    InputSourceRegistrar registrar(int major = 25) {
        system_ = std::make_unique<FixedSystemInfo>(OperatingSystemVersion{major, 0, 0});
        return InputSourceRegistrar({
            .sources = sources,
            .preferences = [this](std::string_view d) -> std::unique_ptr<UserDefaults> {
                return std::make_unique<DomainDefaults>(domains[std::string(d)]);
            },
            .system = *system_,
            .clock = time,
            .runLoop = runLoop,
            .bundleIdentifier = [this] { return bundleID; },
            .diagnostic = [this](std::string_view line) { err += line; },
        });
    }
    milliseconds elapsed() const {
        return std::chrono::duration_cast<milliseconds>(time.steadyNow() - start_);
    }

    testing::VirtualTime time;
    VirtualRunLoop runLoop{time};
    std::shared_ptr<FakeSources> sources = std::make_shared<FakeSources>();
    std::map<std::string, Domain> domains;
    std::optional<std::string> bundleID = kBundle;
    std::string err;

    std::unique_ptr<SystemInfo> system_;
    std::chrono::steady_clock::time_point start_ = time.steadyNow();
};

class InputSourceRegistrarTest : public ::testing::Test, public Harness {};

TEST_F(InputSourceRegistrarTest, EnableTriesEveryCandidateAndWaitsOnlyWhenThereIsOne) {
    auto failing = [](std::string id, bool losesId) {
        auto s = source(std::move(id));
        s->enableStatus = -50;
        s->losesIdOnFailure = losesId;
        return s;
    };
    const struct {
        const char* name;
        std::vector<std::shared_ptr<FakeSource>> sources;
        std::optional<std::string> bundle;
        bool result;
        std::vector<std::string> calls;
        std::string err;
        milliseconds waited;
    } cases[] = {
        {"no candidate", {source(kABC)}, kBundle, false, {}, kNotRegistered, milliseconds(0)},
        {"look-alike only",
         {source(kBundle + "X"), source(kBundle + "X.Hans")},
         kBundle,
         false,
         {},
         kNotRegistered,
         milliseconds(0)},
        {"both enabled here",
         {source(kABC), source(kBundle), source(kMode)},
         kBundle,
         true,
         {"enable " + kBundle, "enable " + kMode},
         "",
         milliseconds(500)},
        {"already enabled: no call",
         {source(kBundle, true), source(kMode, true)},
         kBundle,
         true,
         {},
         "",
         milliseconds(500)},
        {"one fails, the others still tried",
         {failing(kBundle, true), source(kMode), failing(kBundle + ".Latin", false)},
         kBundle,
         false,
         {"enable " + kBundle, "enable " + kMode, "enable " + kBundle + ".Latin"},
         "TISEnableInputSource(?) failed: -50\nTISEnableInputSource(" + kBundle + ".Latin) failed: -50\n",
         milliseconds(500)},
        {"mode without an enabled flag",
         {source(kBundle), source(kMode, std::nullopt)},
         kBundle,
         true,
         {"enable " + kBundle, "enable " + kMode},
         "",
         milliseconds(500)},
        {"another bundle id: its own sources; the line names our mode",
         {source("org.example.ime"), source(kMode)},
         "org.example.ime",
         false,
         {"enable org.example.ime"},
         "",
         milliseconds(500)},
        {"no bundle id: ours",
         {source(kMode)},
         std::nullopt,
         true,
         {"enable " + kMode},
         "",
         milliseconds(500)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Harness fresh;
        fresh.sources->sources = c.sources;
        fresh.bundleID = c.bundle;
        EXPECT_EQ(fresh.registrar().enable(), c.result);
        EXPECT_EQ(fresh.sources->calls, c.calls);
        EXPECT_EQ(fresh.err, c.err);
        EXPECT_EQ(fresh.elapsed(), c.waited);
    }
}

TEST_F(InputSourceRegistrarTest, SelectBySourceIdAndSelectOurMode) {
    auto notCapable = source("com.example.palette", true, false, std::nullopt);
    auto refusing = source("com.example.refusing", true);
    refusing->selectStatus = -25;
    auto abc = source(kABC, true, true);
    sources->sources = {abc, notCapable, refusing, source("com.example.pinyin", true)};
    auto r = registrar();
    const struct {
        std::string id;
        bool result;
        std::string err;
        std::vector<std::string> calls;
    } cases[] = {
        {"com.example.missing", false, "no such input source: com.example.missing\n", {}},
        {kABC, true, "", {}},  // already selected: no call
        {"com.example.palette", false, "input source not select-capable: com.example.palette\n", {}},
        {"com.example.refusing",
         false,
         "TISSelectInputSource(com.example.refusing) failed: -25\n",
         {"select com.example.refusing"}},
        {"com.example.pinyin", true, "", {"select com.example.pinyin"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.id);
        err.clear();
        sources->calls.clear();
        EXPECT_EQ(r.select(c.id), c.result);
        EXPECT_EQ(err, c.err);
        EXPECT_EQ(sources->calls, c.calls);
    }
    EXPECT_EQ(r.currentSourceID(), "com.example.pinyin");

    // Our mode: not registered stops before enabling (no wait).
    err.clear();
    EXPECT_FALSE(r.select());
    EXPECT_EQ(err, kNotRegistered);
    EXPECT_EQ(elapsed(), milliseconds(0));

    // A failed enabling stops with its own lines only.
    auto own = source(kBundle);
    own->enableStatus = -50;
    sources->sources.push_back(own);
    sources->sources.push_back(source(kMode));
    err.clear();
    EXPECT_FALSE(r.select());
    EXPECT_EQ(err, "TISEnableInputSource(" + kBundle + ") failed: -50\n");

    own->enableStatus = 0;
    err.clear();
    EXPECT_TRUE(r.select());
    EXPECT_EQ(err, "");
    EXPECT_EQ(r.status(), (InputSourceRegistrar::Status{true, true, true}));
    EXPECT_EQ(r.currentSourceID(), kMode);
}

TEST_F(InputSourceRegistrarTest, WaitingForTheModeLooksEveryFifthOfASecondUntilTheDeadline) {
    auto r = registrar();
    // 0 looks once and does not wait.
    EXPECT_FALSE(r.waitForSourceToAppear(0));
    EXPECT_EQ(sources->listCalls, 1);
    EXPECT_TRUE(runLoop.slices.empty());

    // The mode appears after three slices.
    runLoop.afterSlice = [this](std::size_t n) {
        if (n == 3) sources->sources.push_back(source(kMode));
    };
    EXPECT_TRUE(r.waitForSourceToAppear(5.0));
    EXPECT_EQ(runLoop.slices, std::vector<milliseconds>(3, milliseconds(200)));
    EXPECT_EQ(elapsed(), milliseconds(600));

    // Never appearing: 25 slices, then one last look.
    sources->sources.clear();
    runLoop.slices.clear();
    runLoop.afterSlice = nullptr;
    sources->listCalls = 0;
    EXPECT_FALSE(r.waitForSourceToAppear(5.0));
    EXPECT_EQ(runLoop.slices.size(), 25u);
    EXPECT_EQ(sources->listCalls, 26);
}

TEST_F(InputSourceRegistrarTest, StatusDisableAndListingsReadTheServiceAsItIs) {
    auto r = registrar();
    EXPECT_EQ(r.status(), InputSourceRegistrar::Status{});
    EXPECT_FALSE(r.disable());
    EXPECT_EQ(r.currentSourceID(), std::nullopt);

    auto mode = source(kMode, true, true);
    sources->sources = {source(kABC), source(std::nullopt, true, true), source(kBundle, true), mode,
                        source(kABC)};
    EXPECT_EQ(r.allSourceIDs(), (std::vector<std::string>{kABC, kBundle, kMode, kABC}));
    // The first selected source has no id.
    EXPECT_EQ(r.currentSourceID(), std::nullopt);
    EXPECT_EQ(r.status(), (InputSourceRegistrar::Status{true, true, true}));
    EXPECT_TRUE(r.disable());
    EXPECT_TRUE(r.disable());  // already off: no second call
    EXPECT_EQ(sources->calls, std::vector<std::string>{"disable " + kMode});
    EXPECT_EQ(r.status(), (InputSourceRegistrar::Status{true, false, true}));
}

json bundleEntry() {
    return {{"Bundle ID", kBundle}, {"InputSourceKind", "Keyboard Input Method"}};
}
json modeEntry() {
    return {{"Bundle ID", kBundle}, {"Input Mode", kMode}, {"InputSourceKind", "Input Mode"}};
}
json retiredEntry() {
    return {{"Bundle ID", kBundle},
            {"Input Mode", "cn.kestrum.inputmethod.Sorvane.Latin"},
            {"InputSourceKind", "Input Mode"}};
}
json otherEntry(const std::string& layout) {
    return {{"InputSourceKind", "Keyboard Layout"}, {"KeyboardLayout Name", layout}};
}

TEST_F(InputSourceRegistrarTest, EnsureEnabledMergesOurEntriesOnlyWhereItMust) {
    json extraKey = bundleEntry();
    extraKey["Extra"] = "1";
    const json malformed = json::array({otherEntry("ABC"), "not a dictionary"});
    const struct {
        const char* name;
        int major;
        bool registered;  // both of our sources installed, so enabling succeeds
        std::optional<json> stored;
        bool failWrites;
        std::string text;
        std::optional<json> after;  // none: never written
    } cases[] = {
        {"25, enabled through the service", 25, true, std::nullopt, false, "enabled via TIS", std::nullopt},
        {"26 always examines the list", 26, true, std::nullopt, false, "enabled list updated",
         json::array({bundleEntry(), modeEntry()})},
        {"25 without our sources: the list", 25, false, std::nullopt, false, "enabled list updated",
         json::array({bundleEntry(), modeEntry()})},
        {"already complete", 26, true, json::array({otherEntry("ABC"), bundleEntry(), modeEntry()}), false,
         "enabled list already complete", std::nullopt},
        {"an entry with one more key is another entry", 26, true, json::array({extraKey, modeEntry()}), false,
         "enabled list updated", json::array({extraKey, modeEntry(), bundleEntry()})},
        {"retired entry dropped, others keep their places", 26, true,
         json::array({otherEntry("ABC"), retiredEntry(), bundleEntry(), otherEntry("Pinyin"), modeEntry()}),
         false, "enabled list updated",
         json::array({otherEntry("ABC"), bundleEntry(), otherEntry("Pinyin"), modeEntry()})},
        {"malformed value left alone", 26, true, malformed, false, "enabled list unreadable; not changed",
         std::nullopt},
        {"not an array", 26, true, json("text"), false, "enabled list unreadable; not changed", std::nullopt},
        {"failed save", 26, true, std::nullopt, true, "enabled list not written", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Harness fresh;
        if (c.registered) fresh.sources->sources = {source(kBundle), source(kMode)};
        auto r = fresh.registrar(c.major);
        const auto location = r.enabledListLocation();
        EXPECT_EQ(location.domain, c.major >= 26 ? "com.apple.inputsources" : "com.apple.HIToolbox");
        EXPECT_EQ(location.key,
                  c.major >= 26 ? "AppleEnabledThirdPartyInputSources" : "AppleEnabledInputSources");
        Domain& domain = fresh.domains[location.domain];
        if (c.stored) domain.values[location.key] = *c.stored;
        domain.failWrites = c.failWrites;
        EXPECT_EQ(r.ensureEnabled(), c.text);
        if (c.after) {
            EXPECT_EQ(domain.values[location.key], *c.after);
        } else {
            EXPECT_EQ(domain.writes, c.failWrites ? 1 : 0);
            if (c.stored) {
                EXPECT_EQ(domain.values[location.key], *c.stored);
            }
        }
    }
}

TEST_F(InputSourceRegistrarTest, RemovalDisablesOurModeAndDropsEveryEntryOfTheBundle) {
    const json noBundleId = {{"Input Mode", kMode}, {"InputSourceKind", "Input Mode"}};
    const json numericBundleId = {{"Bundle ID", 7}, {"InputSourceKind", "Input Mode"}};
    const struct {
        const char* name;
        std::optional<json> stored;
        bool failWrites;
        std::string text;
        std::optional<json> after;
    } cases[] = {
        {"ours dropped, others kept in order",
         json::array(
             {otherEntry("ABC"), bundleEntry(), noBundleId, retiredEntry(), modeEntry(), numericBundleId}),
         false, "removed from enabled list", json::array({otherEntry("ABC"), noBundleId, numericBundleId})},
        {"none of ours", json::array({otherEntry("ABC")}), false, "not in enabled list", std::nullopt},
        {"missing value", std::nullopt, false, "not in enabled list", std::nullopt},
        {"malformed value: ours may be in it", json::array({bundleEntry(), 3}), false,
         "enabled list unreadable; not changed", std::nullopt},
        {"failed save", json::array({bundleEntry()}), true, "enabled list not written", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Harness fresh;
        auto mode = source(kMode, true);
        fresh.sources->sources = {mode};
        auto r = fresh.registrar(25);
        Domain& domain = fresh.domains["com.apple.HIToolbox"];
        if (c.stored) domain.values["AppleEnabledInputSources"] = *c.stored;
        domain.failWrites = c.failWrites;
        EXPECT_EQ(r.removeFromEnabledList(), c.text);
        EXPECT_FALSE(*mode->enabled);
        if (c.after) {
            EXPECT_EQ(domain.values["AppleEnabledInputSources"], *c.after);
        } else {
            EXPECT_EQ(domain.writes, c.failWrites ? 1 : 0);
            if (c.stored) {
                EXPECT_EQ(domain.values["AppleEnabledInputSources"], *c.stored);
            }
        }
    }
}

}  // namespace
}  // namespace sorvane
