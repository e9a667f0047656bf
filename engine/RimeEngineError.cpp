#include "engine/RimeEngineError.h"

namespace sorvane {

std::string RimeEngineError::description() const {
    switch (kind_) {
        case Kind::missingSharedDataDir:
            return "shared data dir does not exist: " + detail_ + " (run scripts/fetch-rime-data)";
        case Kind::apiUnavailable:
            return "rime_get_api() returned NULL \u2014 librime is not linked correctly";
        case Kind::alreadyStarted:
            return "RimeEngine.start() called twice";
        case Kind::notStarted:
            return "RimeEngine has not been started";
        case Kind::sessionCreationFailed:
            return "RimeApi.create_session() returned 0";
        case Kind::deployFailed:
            return "RimeApi.deploy() returned false";
        case Kind::noSession:
            return "no rime session; call createSession() first";
        case Kind::libraryFault:
            return "librime failed: " + detail_;
    }
    return {};
}

}  // namespace sorvane
