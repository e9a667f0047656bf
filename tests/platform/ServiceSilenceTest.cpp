#include <gtest/gtest.h>

#include "platform/ServiceSilence.h"
#include "tests/support/VirtualTime.h"

namespace sorvane {
namespace {

using namespace std::chrono_literals;

TEST(ServiceSilence, AQuietServiceIsAskedAgainOnlyAfterItsIntervalAndSaidOnceEachTimeItGoesQuiet) {
    testing::VirtualTime time;
    ServiceSilence silence(60s, time);
    ASSERT_TRUE(silence.mayAsk(3s));
    EXPECT_FALSE(silence.note(true));
    ASSERT_TRUE(silence.mayAsk(3s));
    EXPECT_TRUE(silence.note(false)) << "gone quiet";

    time.advance(59s);
    EXPECT_FALSE(silence.mayAsk(3s));
    time.advance(1s);
    ASSERT_TRUE(silence.mayAsk(3s));
    EXPECT_FALSE(silence.mayAsk(3s)) << "one caller asks at a time";
    time.advance(3s);
    EXPECT_FALSE(silence.note(false)) << "still quiet, not said again";
    EXPECT_FALSE(silence.mayAsk(3s));

    time.advance(60s);
    ASSERT_TRUE(silence.mayAsk(3s));
    EXPECT_FALSE(silence.note(true));
    EXPECT_TRUE(silence.mayAsk(3s));
    EXPECT_TRUE(silence.note(false)) << "quiet again";

    ServiceSilence forGood(std::nullopt, time);
    EXPECT_TRUE(forGood.note(false));
    EXPECT_FALSE(forGood.note(true)) << "an answer to a call already asking";
    time.advance(24h);
    EXPECT_FALSE(forGood.mayAsk(3s));
}

}  // namespace
}  // namespace sorvane
