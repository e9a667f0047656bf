#pragma once
// What can go wrong in the engine adapter, with the texts that reach logs and
// the self-test output.
#include <string>

namespace sorvane {

class RimeEngineError {
public:
    enum class Kind {
        missingSharedDataDir,
        apiUnavailable,
        alreadyStarted,
        notStarted,
        sessionCreationFailed,
        deployFailed,
        noSession,
    };

    RimeEngineError(Kind kind) : kind_(kind) {}
    static RimeEngineError missingSharedDataDir(std::string path) {
        RimeEngineError e(Kind::missingSharedDataDir);
        e.path_ = std::move(path);
        return e;
    }

    Kind kind() const { return kind_; }
    // The shared folder of missingSharedDataDir; empty otherwise.
    const std::string& path() const { return path_; }
    std::string description() const;

    bool operator==(const RimeEngineError&) const = default;

private:
    Kind kind_;
    std::string path_;
};

}  // namespace sorvane
