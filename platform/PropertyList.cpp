#include "platform/PropertyList.h"

#include <plist/plist.h>

#include <cstdlib>
#include <memory>

namespace sorvane::PropertyList {

std::optional<std::map<std::string, std::optional<std::string>>> dictionaryTexts(std::string_view bytes) {
    if (bytes.empty() || bytes.size() > maxBytes) return std::nullopt;
    plist_t root = nullptr;
    // Tells binary ("bplist00") from XML by the header.
    plist_from_memory(bytes.data(), static_cast<uint32_t>(bytes.size()), &root);
    if (!root) return std::nullopt;
    std::unique_ptr<void, void (*)(plist_t)> guard(root, plist_free);
    if (plist_get_node_type(root) != PLIST_DICT) return std::nullopt;

    std::map<std::string, std::optional<std::string>> out;
    plist_dict_iter iterator = nullptr;
    plist_dict_new_iter(root, &iterator);
    if (!iterator) return out;
    for (;;) {
        char* key = nullptr;
        plist_t value = nullptr;
        plist_dict_next_item(root, iterator, &key, &value);
        if (!key) break;
        std::optional<std::string> text;
        if (value && plist_get_node_type(value) == PLIST_STRING) {
            char* raw = nullptr;
            plist_get_string_val(value, &raw);
            if (raw) text = std::string(raw);
            std::free(raw);
        }
        out.emplace(key, std::move(text));
        std::free(key);
    }
    std::free(iterator);
    return out;
}

}  // namespace sorvane::PropertyList
