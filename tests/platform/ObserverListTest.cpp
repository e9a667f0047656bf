#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/ObserverList.h"

namespace sorvane {
namespace {

// A view that goes while others are told, and one that outlives the model it
// watched: neither may be called late, nor touch a list that is gone.
TEST(ObserverList, SubscriptionsLeaveAsTheyGoWhateverGoesFirst) {
    auto list = std::make_unique<ObserverList<std::string>>();
    std::vector<std::string> heard;
    ObserverSubscription second, added;
    bool adding = true;
    auto first = list->add([&](const std::string& what) {
        heard.push_back("first " + what);
        second.reset();
        if (std::exchange(adding, false))
            added = list->add([&](const std::string& later) { heard.push_back("added " + later); });
    });
    second = list->add([&](const std::string& what) { heard.push_back("second " + what); });
    auto third = list->add([&](const std::string& what) { heard.push_back("third " + what); });

    list->notify("a");
    { const ObserverSubscription gone = std::move(third); }
    list->notify("b");
    EXPECT_EQ(heard, (std::vector<std::string>{"first a", "third a", "first b", "added b"}));

    list.reset();
    first.reset();
    added = ObserverSubscription();
}

}  // namespace
}  // namespace sorvane
