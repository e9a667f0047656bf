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
// "<copy>-2", "-3", ... "-100". The name it took. Where the file system
// refuses RENAME_NOREPLACE (EINVAL, as some network file systems do), by
// setAsideByLinking.
Expected<std::filesystem::path, FileError> setAside(const std::filesystem::path& file,
                                                    const std::filesystem::path& copy);

// link(2) by default; tests put in one that fails or races a writer.
using Link = std::function<int(const char* from, const char* to)>;

// setAside without RENAME_NOREPLACE. `file` is first renamed to a name of
// its own beside `copy` ("<copy>.<UUID>"): what is at `file` at that instant
// moves, and a file put there afterwards stays. That name is then linked to
// the first free one of `copy`, "-2" ... "-100" (a link never replaces), and
// removed. Where links fail for another reason than a taken name (a file
// system without hard links), or all names are taken, the file stays under
// its own name, which is returned. It never replaces an earlier copy nor
// removes a file it did not move. An error only when the rename fails.
Expected<std::filesystem::path, FileError> setAsideByLinking(const std::filesystem::path& file,
                                                             const std::filesystem::path& copy,
                                                             const Link& link = {});

// A JSON object file as a writer that keeps what it does not know finds it.
struct ObjectBeforeReplacing {
    // What the file holds; empty when there was no file or it was set aside.
    nlohmann::json object;
    // `object` as it now is, pretty-printed with sorted keys; a member the
    // library would change (a 25-digit integer, 1e-400) and the writer left
    // alone goes back in the text it was read in. A byte-order mark the file
    // began with is not written. Throws what dump throws.
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
