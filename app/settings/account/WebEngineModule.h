#pragma once
// Loads the web engine module (Qt WebEngine) from the bundle on first use.
// Only the settings window calls this: linking the engine into the
// executable would add its start-up cost to every process, the input-method
// server's and the command line's included. Main thread only; a loaded module
// stays for the life of the process.
#include <filesystem>
#include <string>

#include "app/settings/account/WebView.h"
#include "platform/Bundle.h"
#include "platform/Expected.h"

namespace sorvane::WebEngineModule {

// <bundle>/Contents/PlugIns/libSorvaneWebEngine.so
std::filesystem::path path(const std::filesystem::path& bundle);

// The engine's factory; the reason when the module cannot be loaded. The
// first call decides: later calls give its result, whatever bundle they name.
Expected<WebViewFactory*, std::string> factory(const std::filesystem::path& bundle = Bundle::main().path);

}  // namespace sorvane::WebEngineModule
