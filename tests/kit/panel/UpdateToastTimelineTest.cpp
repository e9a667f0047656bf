#include <gtest/gtest.h>

#include "kit/panel/UpdateToastTimeline.h"
#include "tests/support/VirtualTime.h"

namespace sorvane {
namespace {

using namespace std::chrono_literals;

// A window whose fade takes the virtual time it is given.
class FakeToast final : public UpdateToastSurface {
public:
    explicit FakeToast(testing::VirtualTime& time) : time_(time) {}
    bool isVisible() const override { return visible; }
    double alpha() const override { return alphaValue; }
    void present() override {
        if (!visible) alphaValue = 0;
        visible = true;
        alphaValue = 1;
        ++presented;
    }
    void fadeOut(std::chrono::milliseconds duration, std::function<void()> done) override {
        // The end of the fade is reported even when a show took it back.
        time_.postAfter(duration, done);
    }
    void orderOut() override {
        visible = false;
        alphaValue = 1;
    }

    bool visible = false;
    double alphaValue = 1;
    int presented = 0;

private:
    testing::VirtualTime& time_;
};

class UpdateToastTimelineTest : public ::testing::Test {
protected:
    testing::VirtualTime time_;
    FakeToast toast_{time_};
    UpdateToastTimeline timeline_{time_, time_, toast_};
};

TEST_F(UpdateToastTimelineTest, PauseAndResumeKeepTheRemainingTime) {
    timeline_.show();
    time_.advance(10s);
    timeline_.pointerEntered();
    EXPECT_FALSE(timeline_.counting());
    EXPECT_NEAR(timeline_.remaining().count(), 5.0, 1e-6);
    time_.advance(60s);  // resting on it: nothing happens
    EXPECT_TRUE(toast_.visible);
    timeline_.pointerExited();
    time_.advance(4999ms);
    EXPECT_TRUE(toast_.visible);
    time_.advance(1ms + UpdateToastTimeline::fadeTime);
    EXPECT_FALSE(toast_.visible);

    // Entering at 14 s and leaving gives the 3 s floor.
    timeline_.show();
    time_.advance(14s);
    timeline_.pointerEntered();
    timeline_.pointerExited();
    EXPECT_NEAR(timeline_.remaining().count(), 3.0, 1e-6);
    time_.advance(2999ms);
    EXPECT_TRUE(toast_.visible);
    time_.advance(1ms + UpdateToastTimeline::fadeTime);
    EXPECT_FALSE(toast_.visible);

    // Pointer events on a hidden toast change nothing.
    timeline_.pointerExited();
    timeline_.pointerEntered();
    EXPECT_EQ(time_.pendingCount(), 0u);
}

TEST_F(UpdateToastTimelineTest, LateStepsOfAnOlderGenerationDoNothing) {
    timeline_.show();
    time_.advance(15s);  // the countdown ends and the fade begins
    time_.advance(100ms);
    timeline_.show();  // taken back mid-fade
    time_.advance(1s);
    EXPECT_TRUE(toast_.visible) << "the old fade's completion ordered the new toast out";

    // The first countdown of an earlier show never dismisses a newer one.
    time_.advance(13s);
    timeline_.show();
    time_.advance(2s);  // the earlier show's 15 s have passed
    EXPECT_TRUE(toast_.visible);
    time_.advance(13s + UpdateToastTimeline::fadeTime);
    EXPECT_FALSE(toast_.visible);
}

TEST(UpdateToastDetailTest, TakesTheFirstNotesLineWithoutItsBullet) {
    const std::string fixed = "已通过校验，可以安装";
    const struct {
        std::optional<std::string> notes;
        std::string detail;
    } cases[] = {
        {std::nullopt, fixed},
        {"", fixed},
        {" \t\n\r\n\u2028 ", fixed},
        {"• \nreal text later", fixed},
        {"·修复了候选框闪烁\n· 第二条", "修复了候选框闪烁"},
        {"\u3000・ 新的设置页", "新的设置页"},
        {"- Faster typing", "Faster typing"},
        {"* Faster", "Faster"},
        {"-Faster", "-Faster"},
        {"\r\n  first\u2029second", "first"},
        {"\u2028line after a separator", "line after a separator"},
    };
    for (const auto& c : cases) EXPECT_EQ(UpdateToastTimeline::detail(c.notes), c.detail) << c.detail;

    // 250 Characters with combining marks and emoji: cut at 200 whole ones.
    std::string longLine;
    for (int i = 0; i < 125; ++i) longLine += "e\u0301👍🏽";
    const std::string cut = UpdateToastTimeline::detail(longLine);
    std::string expected;
    for (int i = 0; i < 100; ++i) expected += "e\u0301👍🏽";
    EXPECT_EQ(cut, expected);
}

}  // namespace
}  // namespace sorvane
