#pragma once
// The panel's text for "no rewrite route", as last worked out off the main
// thread. Working it out reads the keychain (is an account token stored?),
// and a Secret Service that stalls would hold every key behind it; so the
// prediction executor works it out whenever it finds no route, right before
// the failure reaches the English composer, and the main thread only reads
// the answer kept here. Thread-safe.
#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include "kit/route/PredictionRoute.h"

namespace sorvane {

class LastKnownRouteReason {
public:
    using RouteResolver = std::function<std::optional<PredictionRoute>()>;

    // `workOut` may wait on other processes; it runs only in refresh().
    explicit LastKnownRouteReason(std::function<std::string()> workOut);

    // Works the text out now and keeps it. Off the main thread.
    void refresh();
    // The text last worked out; before any, the sign-in text. Never waits
    // on another process.
    std::string current() const;

    // `resolve`, refreshing the text whenever it gives no route.
    RouteResolver refreshingOnNoRoute(RouteResolver resolve);

private:
    std::function<std::string()> workOut_;
    mutable std::mutex lock_;
    std::string text_;
};

}  // namespace sorvane
