#pragma once
// The benchmarks' main: runs those the command line names, then `atEnd`,
// for what must end before the process's statics go (an engine, a folder).
#include <benchmark/benchmark.h>

#include <functional>

namespace sorvane::bench {

inline int runBenchmarks(int argc, char** argv, const std::function<void()>& atEnd = {}) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (atEnd) atEnd();
    return 0;
}

}  // namespace sorvane::bench
