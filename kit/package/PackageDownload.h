#pragma once
// Downloads one package straight into a new file, never holding it in
// memory, and stops at the first byte beyond the size the feed announced.
// The file is created exclusively, not through a link, readable by the owner
// only, so nothing planted in the shared temporary folder is written
// through. Made, run once and dropped by the update check.
//
// run() blocks the calling thread. Progress comes from the transfer's
// blocks; the first failure recorded wins, so the size cap's message is
// reported rather than the stopped transfer's.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>

#include "kit/update/UpdateCheckError.h"
#include "kit/update/UpdateEnvironment.h"
#include "platform/Expected.h"
#include "platform/HttpClient.h"

namespace sorvane {

class PackageDownload {
public:
    using Progress = std::function<void(std::int64_t received, std::int64_t total)>;

    PackageDownload(std::int64_t expectedSize, std::filesystem::path destination, Progress progress);
    PackageDownload(const PackageDownload&) = delete;
    PackageDownload& operator=(const PackageDownload&) = delete;

    // Nothing when the whole body of a 200 reply is in the file.
    Expected<void, UpdateCheckError> run(const HttpRequest& request,
                                         const UpdateSessionConfiguration& configuration);

    // Whether run() made the destination file (so the caller may delete it).
    bool createdDestination() const { return created_; }

private:
    bool receive(int fd, std::string_view block);
    void fail(UpdateCheckError error);
    std::optional<UpdateCheckError> recordedFailure();

    const std::int64_t expectedSize_;
    const std::filesystem::path destination_;
    const Progress progress_;
    std::int64_t written_ = 0;
    int status_ = 0;
    bool created_ = false;

    std::mutex lock_;
    std::optional<UpdateCheckError> failure_;
    bool landed_ = false;
};

}  // namespace sorvane
