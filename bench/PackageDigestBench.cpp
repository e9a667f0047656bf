// A downloaded package is digested from disk in 1 MiB chunks. Beside it, in
// the same loop and alternating which goes first, a single EVP digest of the
// same bytes already in memory: the chunked read should stay within about
// 10 % of it ("ratio" at most about 1.1), while resident memory stays flat
// (the peak growth of a file digest is a few MiB, not 256). Wall time: what
// the update check waits for.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/KeyTimes.h"
#include "kit/package/PackageVerifier.h"
#include "platform/files/Files.h"

namespace {

constexpr std::size_t packageBytes = 256u * 1024 * 1024;

// The peak resident set of the process so far, in KiB.
long peakResidentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    }
    return 0;
}

// Never destroyed: the removal at exit runs after every static destructor
// registered later than it, this path's included.
const std::filesystem::path& packageFile() {
    static const std::filesystem::path* path = new std::filesystem::path([] {
        std::string pattern = (std::filesystem::temp_directory_path() / "sorvane-bench-XXXXXX").string();
        if (!mkdtemp(pattern.data())) std::abort();
        const std::filesystem::path file = std::filesystem::path(pattern) / "package.pkg";
        std::ofstream out(file, std::ios::binary);
        std::vector<char> block(1024 * 1024);
        for (std::size_t written = 0; written < packageBytes; written += block.size()) {
            for (std::size_t i = 0; i < block.size(); ++i)
                block[i] = static_cast<char>((written + i) * 2654435761u >> 24);
            out.write(block.data(), static_cast<std::streamsize>(block.size()));
        }
        std::atexit([] { std::filesystem::remove_all(packageFile().parent_path()); });
        return file;
    }());
    return *path;
}

void BM_PackageDigestFromFileOverInMemory(benchmark::State& state) {
    const auto& file = packageFile();
    const auto fromFile = [&] {
        auto digest = sorvane::PackageVerifier::sha256(file);
        if (!digest) state.SkipWithError("digest failed");
        benchmark::DoNotOptimize(digest);
    };
    // The peak of one file digest, taken once before the first in-memory copy
    // below raises the process's peak by the whole package: the library runs
    // this function more than once, and later runs start above that peak.
    static const long fileGrowthKiB = [&] {
        const long before = peakResidentKiB();
        fromFile();
        return peakResidentKiB() - before;
    }();

    auto bytes = sorvane::Files::readFile(file, packageBytes);
    if (!bytes) {
        state.SkipWithError("read failed");
        return;
    }
    const auto inMemory = [&] {
        unsigned char digest[EVP_MAX_MD_SIZE];
        unsigned int length = 0;
        EVP_Digest(bytes->data(), bytes->size(), digest, &length, EVP_sha256(), nullptr);
        benchmark::DoNotOptimize(digest);
    };
    sorvane::bench::alternate(state, "file", fromFile, "in_memory", inMemory);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * 2 * packageBytes));
    state.counters["peakRssGrowthMiB"] = static_cast<double>(fileGrowthKiB) / 1024.0;
}
BENCHMARK(BM_PackageDigestFromFileOverInMemory)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

}  // namespace
