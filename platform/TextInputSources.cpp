#include "platform/TextInputSources.h"

#include <algorithm>
#include <cstring>
#include <nlohmann/json.hpp>

#include "platform/Bundle.h"
#include "platform/files/FileLock.h"
#include "platform/files/Files.h"

namespace sorvane {
namespace {

namespace fs = std::filesystem;
using Record = FileTextInputSources::Record;

// A reference is a copy of the record as it stood when the list was read;
// every change looks the source up again by its id in the file.
struct FileSource final : InputSource {
    explicit FileSource(Record record) : record(std::move(record)) {}
    Record record;
};

const Record& recordOf(const InputSource& source) {
    return static_cast<const FileSource&>(source).record;
}

std::optional<bool> boolField(const nlohmann::json& entry, const char* key) {
    auto it = entry.find(key);
    if (it == entry.end()) return false;
    if (!it->is_boolean()) return std::nullopt;
    return it->get<bool>();
}

// The records, or why the text is not a registry.
Expected<std::vector<Record>, std::string> decode(const std::string& text) {
    auto root = nlohmann::json::parse(text, nullptr, false);
    if (root.is_discarded()) return unexpected(std::string("not JSON"));
    auto sources = root.is_object() ? root.find("sources") : root.end();
    if (sources == root.end() || !sources->is_array()) return unexpected(std::string("no \"sources\" array"));
    if (sources->size() > FileTextInputSources::maxSources)
        return unexpected("more than " + std::to_string(FileTextInputSources::maxSources) + " sources");
    std::vector<Record> records;
    for (const auto& entry : *sources) {
        auto id = entry.is_object() ? entry.find("id") : entry.end();
        std::optional<bool> enabled, selected, selectCapable;
        if (id != entry.end() && id->is_string()) {
            enabled = boolField(entry, "enabled");
            selected = boolField(entry, "selected");
            selectCapable = boolField(entry, "selectCapable");
        }
        if (!enabled || !selected || !selectCapable)
            return unexpected("source " + std::to_string(records.size() + 1) +
                              " is not a text \"id\" with Boolean flags");
        records.push_back({id->get<std::string>(), *enabled, *selected, *selectCapable});
    }
    return records;
}

// The file error's reason alone: the line that carries it names the file.
std::string reasonOf(const FileError& error) {
    switch (error.kind) {
        case FileError::Kind::notRegular:
            return "not a regular file";
        case FileError::Kind::tooLarge:
            return "larger than " + std::to_string(Files::dataFileLimit) + " bytes";
        default:
            return error.code != 0 ? std::strerror(error.code) : error.message;
    }
}

std::string encode(const std::vector<Record>& records) {
    nlohmann::json sources = nlohmann::json::array();
    for (const auto& r : records) {
        sources.push_back({{"id", r.id},
                           {"enabled", r.enabled},
                           {"selected", r.selected},
                           {"selectCapable", r.selectCapable}});
    }
    return nlohmann::json{{"sources", sources}}.dump(2) + "\n";
}

std::vector<Record>::iterator findRecord(std::vector<Record>& records, const std::string& id) {
    return std::find_if(records.begin(), records.end(), [&](const Record& r) { return r.id == id; });
}

}  // namespace

FileTextInputSources::FileTextInputSources() : FileTextInputSources(defaultPath()) {}

FileTextInputSources::FileTextInputSources(fs::path file, Diagnostic unreadable)
    : path_(std::move(file)), unreadable_(std::move(unreadable)) {}

fs::path FileTextInputSources::defaultPath() {
    return Files::preferencesDirectory() / "TextInputSources.json";
}

Expected<std::vector<Record>, std::string> FileTextInputSources::read() const {
    auto records = [&]() -> Expected<std::vector<Record>, std::string> {
        auto text = Files::readFile(path_);
        if (text) return decode(*text);
        if (text.error().kind != FileError::Kind::notFound) return unexpected(reasonOf(text.error()));
        // A fresh system has its one keyboard layout, so that there is always
        // a source to return to.
        return std::vector<Record>{{defaultLayoutID, true, true, true}};
    }();
    if (!records && unreadable_ && !reported_.exchange(true))
        unreadable_("input-source registry unreadable: " + path_.string() + ": " + records.error() + "\n");
    return records;
}

template <typename Change>
InputSourceStatus FileTextInputSources::modify(Change&& change) {
    FileLock lock(path_.string() + ".lock");
    if (!lock.held()) return InputSourceStatusCode::ioError;
    auto records = read();
    if (!records) return InputSourceStatusCode::ioError;
    bool changed = false;
    const InputSourceStatus status = change(*records, changed);
    if (status != InputSourceStatusCode::ok || !changed) return status;
    if (records->size() > maxSources) return InputSourceStatusCode::paramError;
    if (!Files::atomicWrite(path_, encode(*records))) return InputSourceStatusCode::ioError;
    return InputSourceStatusCode::ok;
}

InputSourceStatus FileTextInputSources::registerBundle(const fs::path& bundlePath) {
    const Bundle bundle = Bundle::load(bundlePath);
    if (!bundle.identifier || bundle.identifier->empty()) return InputSourceStatusCode::paramError;
    return modify([&](std::vector<Record>& records, bool& changed) {
        auto add = [&](const std::string& id, bool selectCapable) {
            if (findRecord(records, id) != records.end()) return;
            records.push_back({id, false, false, selectCapable});
            changed = true;
        };
        add(*bundle.identifier, false);
        for (const auto& mode : bundle.inputModeIds) add(mode, true);
        return InputSourceStatusCode::ok;
    });
}

std::vector<InputSourceRef> FileTextInputSources::list() {
    std::vector<InputSourceRef> out;
    for (auto& record : read().valueOr(std::vector<Record>{}))
        out.push_back(std::make_shared<FileSource>(std::move(record)));
    return out;
}

std::optional<std::string> FileTextInputSources::id(const InputSource& source) const {
    return recordOf(source).id;
}

std::optional<bool> FileTextInputSources::flag(const InputSource& source, Flag flag) const {
    const Record& r = recordOf(source);
    switch (flag) {
        case Flag::enabled:
            return r.enabled;
        case Flag::selected:
            return r.selected;
        case Flag::selectCapable:
            return r.selectCapable;
    }
    return std::nullopt;
}

InputSourceStatus FileTextInputSources::modifySource(const InputSource& source, const SourceChange& apply) {
    const std::string& id = recordOf(source).id;
    return modify([&](std::vector<Record>& records, bool& changed) {
        auto it = findRecord(records, id);
        if (it == records.end()) return InputSourceStatusCode::paramError;
        const InputSourceStatus status = apply(records, *it);
        changed = status == InputSourceStatusCode::ok;
        return status;
    });
}

InputSourceStatus FileTextInputSources::enable(const InputSource& source) {
    return modifySource(source, [](std::vector<Record>&, Record& r) {
        r.enabled = true;
        return InputSourceStatusCode::ok;
    });
}

InputSourceStatus FileTextInputSources::disable(const InputSource& source) {
    // A source that is turned off cannot stay the selected one.
    return modifySource(source, [](std::vector<Record>&, Record& r) {
        r.enabled = false;
        r.selected = false;
        return InputSourceStatusCode::ok;
    });
}

InputSourceStatus FileTextInputSources::select(const InputSource& source) {
    return modifySource(source, [](std::vector<Record>& records, Record& chosen) {
        if (!chosen.selectCapable) return InputSourceStatusCode::paramError;
        for (auto& r : records) r.selected = false;
        chosen.selected = true;
        return InputSourceStatusCode::ok;
    });
}

InputSourceRef FileTextInputSources::current() {
    for (auto& record : read().valueOr(std::vector<Record>{})) {
        if (record.selected) return std::make_shared<FileSource>(std::move(record));
    }
    return nullptr;
}

}  // namespace sorvane
