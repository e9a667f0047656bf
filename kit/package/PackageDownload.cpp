#include "kit/package/PackageDownload.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

#include "platform/files/Files.h"
#include "platform/files/UniqueFd.h"

namespace sorvane {
namespace {

std::string savingFailed(const std::string& why) {
    return "保存下载文件失败：" + why;
}

}  // namespace

PackageDownload::PackageDownload(std::int64_t expectedSize, std::filesystem::path destination,
                                 Progress progress)
    : expectedSize_(expectedSize), destination_(std::move(destination)), progress_(std::move(progress)) {}

void PackageDownload::fail(UpdateCheckError error) {
    std::lock_guard guard(lock_);
    if (!failure_) failure_ = std::move(error);
}

std::optional<UpdateCheckError> PackageDownload::recordedFailure() {
    std::lock_guard guard(lock_);
    return failure_;
}

bool PackageDownload::receive(int fd, std::string_view block) {
    if (status_ != 200 || recordedFailure()) return false;
    if (static_cast<std::int64_t>(block.size()) > expectedSize_ - written_) {
        fail(
            UpdateCheckError::download("超过更新源声明的大小（" + std::to_string(expectedSize_) + " 字节）"));
        return false;
    }
    while (!block.empty()) {
        const ssize_t n = ::write(fd, block.data(), block.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            fail(UpdateCheckError::download(savingFailed(std::strerror(errno))));
            return false;
        }
        block.remove_prefix(static_cast<std::size_t>(n));
        written_ += n;
    }
    if (progress_) progress_(written_, expectedSize_);
    return true;
}

Expected<void, UpdateCheckError> PackageDownload::run(const HttpRequest& request,
                                                      const UpdateSessionConfiguration& configuration) {
    if (!configuration.client) return unexpected(UpdateCheckError::download("没有可用的网络客户端"));
    UniqueFd file(::open(destination_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!file.valid()) {
        return unexpected(UpdateCheckError::download(
            savingFailed(Files::errorFromErrno(errno, destination_).description())));
    }
    created_ = true;

    HttpRequest download = request;
    download.requestTimeout = std::min(request.requestTimeout, configuration.requestTimeout);
    download.resourceTimeout = configuration.resourceTimeout;
    download.redirects = RedirectPolicy::httpsOnly;
    // The cap at the announced size is ours (receive), with its own text.
    download.bodyLimit = std::numeric_limits<std::size_t>::max();
    auto onHead = [&](const HttpResponse& head) {
        status_ = head.status;
        if (status_ != 200) fail(UpdateCheckError::download("HTTP " + std::to_string(status_)));
    };
    auto onBlock = [&](std::string_view block) { return receive(file.get(), block); };
    auto response = configuration.client->download(download, onHead, onBlock);

    if (!response) {
        fail(UpdateCheckError::download(response.error()));
    } else if (response->status != 200) {
        fail(UpdateCheckError::download("HTTP " + std::to_string(response->status)));
    } else if (!recordedFailure()) {
        // No fsync: every later use of the file verifies its size and digest
        // first, so a copy cut short by a crash is caught there.
        if (const int code = file.close(); code != 0) {
            fail(UpdateCheckError::download(savingFailed(std::strerror(code))));
        } else {
            std::lock_guard guard(lock_);
            landed_ = true;
        }
    }

    std::lock_guard guard(lock_);
    if (failure_) return unexpected(*failure_);
    if (!landed_) return unexpected(UpdateCheckError::download("没有收到文件"));
    return {};
}

}  // namespace sorvane
