#pragma once
// update.json, shared by the server and the settings window through the
// file system only: no lock between them, each writer loads, changes and
// saves the whole state, replacing the file atomically, and the last save
// wins. Blocking file operations; any thread; no state kept.
#include <filesystem>
#include <optional>

#include "kit/update/UpdateState.h"
#include "platform/files/Files.h"

namespace sorvane {

struct UpdateStateFile {
    std::filesystem::path url;

    // ~/Library/SorvaneIME/update.json of the current HOME (made at each
    // call, which is cheap).
    static UpdateStateFile live();

    // Never fails: a missing, unreadable, oversized or malformed file is the
    // empty state.
    UpdateState load() const;
    // Pretty-printed, keys sorted, written atomically (the folder is made
    // when missing). False, with a log record, when not written; the old
    // file then stays whole.
    bool save(const UpdateState& state) const;
    // Changes also when a save replaces the file within the clock's
    // resolution (inode and size take part); nothing when the file is
    // missing or cannot be examined.
    std::optional<FileStamp> modificationDate() const;
};

}  // namespace sorvane
