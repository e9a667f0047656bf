#pragma once
// What a writer finds where it is about to replace one of our JSON data
// files (settings, state, route state, user defaults). Replacing a file we
// could not read, or one whose content we could not make sense of, would
// destroy what it holds: the first is refused, the second set aside.
// Blocking; any thread. The caller holds whatever lock guards its file.
#include <filesystem>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

#include "platform/files/Files.h"

namespace sorvane::DataFile {

// The current content of `path` when `parses` accepts it. None when there is
// no file, or when its content did not parse: that content is first renamed
// beside it to "<file>.corrupt-<UTC time>", logged once as "[Sorvane] <what>
// unreadable as a JSON object, kept as <copy>" (see setAside). An error when
// the file exists but cannot be read (permissions, I/O, not a regular file,
// over the size bound) or could not be set aside: the caller must not write
// then.
Expected<std::optional<std::string>, FileError> readBeforeReplacing(
    const std::filesystem::path& path, std::string_view what,
    const std::function<bool(std::string_view text)>& parses);

// Renames `file` to `copy`, never over an earlier copy of that name (two
// writers in one millisecond, a clock set back): then to the first free
// "<copy>-2", "-3", ... "-100". The name it took.
Expected<std::filesystem::path, FileError> setAside(const std::filesystem::path& file,
                                                    const std::filesystem::path& copy);

// A JSON object file as a writer that keeps what it does not know finds it.
struct ObjectBeforeReplacing {
    // What the file holds; empty when there was no file or it was set aside.
    nlohmann::json object;
    // `object` as it now is, pretty-printed with sorted keys; a member the
    // library would change (a 25-digit integer) and the writer left alone
    // goes back in the text it was read in. Throws what dump throws.
    std::string dump() const;

    // What dump() keeps: the object as read (only when there is text to
    // keep) and its inexact members' text, as JsonDocument::dumpKeeping
    // takes them.
    nlohmann::json original;
    std::map<std::string, std::string> originalText;
};

// readBeforeReplacing for a file that must hold a JSON object, as parsed by
// JsonDocument::parse.
Expected<ObjectBeforeReplacing, FileError> readObjectBeforeReplacing(const std::filesystem::path& path,
                                                                     std::string_view what);

}  // namespace sorvane::DataFile
