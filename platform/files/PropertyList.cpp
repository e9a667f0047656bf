#include "platform/files/PropertyList.h"

#include <plist/plist.h>

#include <cstdint>
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
            // libplist asserts, and so aborts the process, when it copies a
            // string that holds a NUL; such a string is no text of ours.
            std::uint64_t length = 0;
            const char* raw = plist_get_string_ptr(value, &length);
            if (raw && std::string_view(raw, length).find('\0') == std::string_view::npos)
                text = std::string(raw, length);
        }
        out.emplace(key, std::move(text));
        std::free(key);
    }
    std::free(iterator);
    return out;
}

}  // namespace sorvane::PropertyList
