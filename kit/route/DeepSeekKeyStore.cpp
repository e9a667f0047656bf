#include "kit/route/DeepSeekKeyStore.h"

namespace sorvane {

DeepSeekKeyStore DeepSeekKeyStore::live() {
    return {
        [](std::string_view key) { return Secrets::storeDeepSeekAPIKey(key); },
        [] { return Secrets::keychainAPIKey(); },
        [] { return Secrets::deleteDeepSeekAPIKey(); },
    };
}

}  // namespace sorvane
