#pragma once
// The live run loop: Qt's event loop when the process has an application
// object and this is its thread; a plain sleep otherwise (the command line
// makes no application object for its registration options).
#include "platform/RunLoop.h"

namespace sorvane {

class QtRunLoop final : public RunLoop {
public:
    void runFor(std::chrono::milliseconds duration) override;
    static QtRunLoop& shared();
};

}  // namespace sorvane
