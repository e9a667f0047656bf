#pragma once
// state.json: one-off facts about the user (welcome shown, terms accepted).
// A free JSON object; each writer changes only its own keys and every other
// key survives.
#include <chrono>
#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

namespace sorvane {

struct AppStateFile {
    std::filesystem::path url;

    // ~/Library/SorvaneIME/state.json of the HOME at first use.
    static const AppStateFile& live();

    // Reads the object (empty when missing; a file that is not a JSON
    // object is first set aside as "state.json.corrupt-<UTC time>"),
    // applies `body`, writes it back pretty-printed with sorted keys,
    // atomically, under an advisory lock on "state.json.lock" that both
    // processes take. False, with a log record, when the file was not written,
    // including when an existing file cannot be read: replacing it would
    // lose what it holds.
    bool update(const std::function<void(nlohmann::json& object)>& body) const;

    // Read afresh on every call; a missing or unreadable file counts as empty.
    bool welcomeWasShown() const;
    std::optional<std::string> termsAcceptedVersion() const;

    bool markWelcomeShown(std::chrono::system_clock::time_point at) const;
    bool acceptTerms(const std::string& version) const;

    // The object as it stands on disk (empty when missing or unusable).
    nlohmann::json read() const;
};

}  // namespace sorvane
