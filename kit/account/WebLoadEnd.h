#pragma once
// How a web engine ended a main-frame load, in the engine's own terms
// (Chromium's network error codes). Header only: the web engine module,
// which links nothing of ours, hands it across.
namespace sorvane {

struct WebLoadEnd {
    enum class Status { succeeded, stopped, failed };
    Status status = Status::succeeded;
    int errorCode = 0;
    // The code is an HTTP status, not a transport failure.
    bool httpStatus = false;
};

}  // namespace sorvane
