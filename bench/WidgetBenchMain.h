#pragma once
// The main of the benchmarks that draw real widgets: offscreen unless a
// platform is named, one application for the whole run.
#include <QApplication>

#include "bench/BenchMain.h"

namespace sorvane::bench {

inline int runWidgetBenchmarks(int argc, char** argv, const std::function<void()>& atEnd = {}) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    return runBenchmarks(argc, argv, atEnd);
}

}  // namespace sorvane::bench
