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
        libraryFault,
    };

    RimeEngineError(Kind kind) : kind_(kind) {}
    static RimeEngineError missingSharedDataDir(std::string path) {
        RimeEngineError e(Kind::missingSharedDataDir);
        e.detail_ = std::move(path);
        return e;
    }

    // librime raised an error of its own (an exception that left its C
    // interface), with the error's text.
    static RimeEngineError libraryFault(std::string what) {
        RimeEngineError e(Kind::libraryFault);
        e.detail_ = std::move(what);
        return e;
    }

    Kind kind() const { return kind_; }
    // The shared folder of missingSharedDataDir, librime's text of
    // libraryFault; empty otherwise.
    const std::string& path() const { return detail_; }
    std::string description() const;

    bool operator==(const RimeEngineError&) const = default;

private:
    Kind kind_;
    std::string detail_;
};

}  // namespace sorvane
