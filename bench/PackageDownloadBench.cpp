// A 64 MiB update package from a loopback server through PackageDownload
// (exclusive file, progress for every block, the cap at the announced size)
// beside a plain libcurl transfer of the same bytes to a file, the two in one
// loop, alternating which goes first. The download should stay within about
// 10 % of the plain transfer ("ratio" at most about 1.1).
#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <httplib.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "bench/KeyTimes.h"
#include "kit/package/PackageDownload.h"
#include "platform/HttpClient.h"

namespace {

constexpr std::size_t packageBytes = 64u * 1024 * 1024;

class PackageServer {
public:
    PackageServer() : bytes_(packageBytes, '\0') {
        for (std::size_t i = 0; i < bytes_.size(); ++i) bytes_[i] = static_cast<char>(i * 2654435761u >> 24);
        // The client keeps its connection open; a stopping server waits out
        // the keep-alive time of an idle one.
        server_.set_keep_alive_timeout(1);
        port_ = server_.bind_to_any_port("127.0.0.1");
        server_.Get("/package.pkg", [this](const httplib::Request&, httplib::Response& res) {
            res.set_content_provider(bytes_.size(), "application/octet-stream",
                                     [this](size_t offset, size_t length, httplib::DataSink& sink) {
                                         return sink.write(bytes_.data() + offset,
                                                           std::min<size_t>(length, 1 << 20));
                                     });
        });
        thread_ = std::thread([this] { server_.listen_after_bind(); });
        while (!server_.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ~PackageServer() {
        server_.stop();
        thread_.join();
    }
    std::string url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/package.pkg"; }

private:
    std::string bytes_;
    httplib::Server server_;
    std::thread thread_;
    int port_ = 0;
};

PackageServer& server() {
    static PackageServer instance;
    return instance;
}

std::filesystem::path target() {
    return std::filesystem::temp_directory_path() / ("sorvane-bench-download-" + std::to_string(::getpid()));
}

std::size_t writeToFile(char* data, std::size_t size, std::size_t count, void* file) {
    return std::fwrite(data, size, count, static_cast<FILE*>(file)) * size;
}

void BM_PackageDownloadOverPlainCurl(benchmark::State& state) {
    sorvane::CurlHttpClient client;
    sorvane::HttpRequest request;
    request.url = server().url();
    std::int64_t reports = 0;
    const auto download = [&] {
        std::filesystem::remove(target());
        sorvane::PackageDownload package(packageBytes, target(),
                                         [&](std::int64_t, std::int64_t) { ++reports; });
        if (!package.run(request, {&client})) state.SkipWithError("download failed");
    };

    CURL* easy = curl_easy_init();
    const std::string url = request.url;
    const auto plainCurl = [&] {
        std::filesystem::remove(target());
        FILE* file = std::fopen(target().c_str(), "wb");
        curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
        curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, writeToFile);
        curl_easy_setopt(easy, CURLOPT_WRITEDATA, file);
        if (curl_easy_perform(easy) != CURLE_OK) state.SkipWithError("transfer failed");
        std::fclose(file);
    };

    sorvane::bench::alternate(state, "download", download, "plain_curl", plainCurl);
    curl_easy_cleanup(easy);
    std::filesystem::remove(target());
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * 2 * packageBytes));
    state.counters["progressPerRun"] = static_cast<double>(reports) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_PackageDownloadOverPlainCurl)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

}  // namespace
