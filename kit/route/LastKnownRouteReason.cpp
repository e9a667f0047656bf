#include "kit/route/LastKnownRouteReason.h"

#include "kit/route/MacRouting.h"

namespace sorvane {

LastKnownRouteReason::LastKnownRouteReason(std::function<std::string()> workOut)
    : workOut_(std::move(workOut)), text_(MacRouting::Copy::signInRequired) {}

void LastKnownRouteReason::refresh() {
    std::string text = workOut_();
    std::lock_guard guard(lock_);
    text_ = std::move(text);
}

std::string LastKnownRouteReason::current() const {
    std::lock_guard guard(lock_);
    return text_;
}

LastKnownRouteReason::RouteResolver LastKnownRouteReason::refreshingOnNoRoute(RouteResolver resolve) {
    return [this, resolve = std::move(resolve)] {
        auto route = resolve();
        if (!route) refresh();
        return route;
    };
}

}  // namespace sorvane
