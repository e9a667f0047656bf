#pragma once
// Hands a verified package to the system's installer. Linux has no
// installer application to look up, so the command that opens a package is
// fixed when the project is configured (SORVANE_INSTALLER_COMMAND), and a
// build without one has no installer.
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace sorvane {

class UpdateInstaller {
public:
    // Nothing when the start worked, else the platform's description.
    using Opened = std::function<void(std::optional<std::string> failure)>;

    virtual ~UpdateInstaller() = default;
    // The installer to open packages with, or nothing.
    virtual std::optional<std::filesystem::path> installerAppURL() const = 0;
    // Starts the installer on the package without waiting for it to end;
    // `opened` may be called on any thread.
    virtual void open(const std::filesystem::path& installer, const std::filesystem::path& package,
                      Opened opened) = 0;
};

// The configured command, spawned directly (a start that fails is told at
// once); a thread of its own reaps it whenever it ends.
class CommandInstaller final : public UpdateInstaller {
public:
    std::optional<std::filesystem::path> installerAppURL() const override;
    void open(const std::filesystem::path& installer, const std::filesystem::path& package,
              Opened opened) override;

    static CommandInstaller& shared();
};

}  // namespace sorvane
