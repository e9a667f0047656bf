#include "platform/TextInputSources.h"

#include <algorithm>
#include <nlohmann/json.hpp>

#include "platform/Bundle.h"
#include "platform/FileLock.h"
#include "platform/Files.h"

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

std::optional<std::vector<Record>> decode(const std::string& text) {
    auto root = nlohmann::json::parse(text, nullptr, false);
    if (root.is_discarded() || !root.is_object()) return std::nullopt;
    auto sources = root.find("sources");
    if (sources == root.end() || !sources->is_array() || sources->size() > FileTextInputSources::maxSources)
        return std::nullopt;
    std::vector<Record> records;
    for (const auto& entry : *sources) {
        if (!entry.is_object()) return std::nullopt;
        auto id = entry.find("id");
        if (id == entry.end() || !id->is_string()) return std::nullopt;
        auto enabled = boolField(entry, "enabled");
        auto selected = boolField(entry, "selected");
        auto selectCapable = boolField(entry, "selectCapable");
        if (!enabled || !selected || !selectCapable) return std::nullopt;
        records.push_back({id->get<std::string>(), *enabled, *selected, *selectCapable});
    }
    return records;
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

struct FileTextInputSources::Contents {
    bool readable = false;
    std::vector<Record> records;
};

FileTextInputSources::FileTextInputSources()
    : FileTextInputSources(Files::preferencesDirectory() / "TextInputSources.json") {}

FileTextInputSources::FileTextInputSources(fs::path file) : path_(std::move(file)) {}

FileTextInputSources::Contents FileTextInputSources::read() const {
    auto text = Files::readFile(path_);
    if (!text) {
        if (text.error().kind != FileError::Kind::notFound) return {};
        // A fresh system has its one keyboard layout, so that there is always
        // a source to return to.
        return {true, {{defaultLayoutID, true, true, true}}};
    }
    auto records = decode(*text);
    if (!records) return {};
    return {true, std::move(*records)};
}

template <typename Change>
InputSourceStatus FileTextInputSources::modify(Change&& change) {
    FileLock lock(path_.string() + ".lock");
    if (!lock.held()) return InputSourceStatusCode::ioError;
    Contents contents = read();
    if (!contents.readable) return InputSourceStatusCode::ioError;
    bool changed = false;
    const InputSourceStatus status = change(contents.records, changed);
    if (status != InputSourceStatusCode::ok || !changed) return status;
    if (contents.records.size() > maxSources) return InputSourceStatusCode::paramError;
    if (!Files::atomicWrite(path_, encode(contents.records))) return InputSourceStatusCode::ioError;
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
    for (auto& record : read().records) out.push_back(std::make_shared<FileSource>(std::move(record)));
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
    for (auto& record : read().records) {
        if (record.selected) return std::make_shared<FileSource>(std::move(record));
    }
    return nullptr;
}

}  // namespace sorvane
