#include "tests/support/FakeRime.h"

#include <cstring>

namespace sorvane::testing {

FakeRime* FakeRime::current = nullptr;

namespace {

FakeRime& fake() {
    return *FakeRime::current;
}

char* mutableText(const std::string& s) {
    return const_cast<char*>(s.c_str());
}

FakeRime::Traits copyTraits(const RimeTraits* t) {
    FakeRime::Traits c;
    auto s = [](const char* p) { return p ? std::string(p) : std::string("(null)"); };
    c.dataSize = t->data_size;
    c.sharedDataDir = s(t->shared_data_dir);
    c.userDataDir = s(t->user_data_dir);
    c.appName = s(t->app_name);
    c.distributionName = s(t->distribution_name);
    c.codeName = s(t->distribution_code_name);
    c.version = s(t->distribution_version);
    c.minLogLevel = t->min_log_level;
    c.hasLogDir = t->log_dir != nullptr;
    c.logDir = s(t->log_dir);
    c.prebuiltDataDir = s(t->prebuilt_data_dir);
    c.stagingDir = s(t->staging_dir);
    return c;
}

bool knows(RimeSessionId id) {
    return fake().sessions.count(id) != 0;
}

}  // namespace

FakeRime::FakeRime() : api{} {
    current = this;
    RIME_STRUCT_INIT(RimeApi, api);
    api.setup = [](RimeTraits* t) {
        fake().called("setup");
        fake().setupTraits.push_back(copyTraits(t));
        fake().setupAppNamePointer = t->app_name;
    };
    api.set_notification_handler = [](RimeNotificationHandler h, void* context) {
        fake().called(h ? "set_notification_handler" : "set_notification_handler(null)");
        fake().handler = h;
        fake().handlerContext = context;
    };
    api.initialize = [](RimeTraits* t) {
        fake().called("initialize");
        fake().initializeTraits.push_back(copyTraits(t));
    };
    api.finalize = [] { fake().called("finalize"); };
    api.start_maintenance = [](Bool full) -> Bool {
        fake().called(full ? "start_maintenance(full)" : "start_maintenance");
        return fake().maintenanceNeeded;
    };
    api.join_maintenance_thread = [] { fake().called("join_maintenance_thread"); };
    api.deployer_initialize = [](RimeTraits* t) {
        fake().called("deployer_initialize");
        fake().deployerTraits.push_back(copyTraits(t));
    };
    api.deploy = []() -> Bool {
        fake().called("deploy");
        fake().notify("deploy", "start");
        fake().notify("deploy", fake().answer ? "success" : "failure");
        return fake().answer;
    };
    api.create_session = []() -> RimeSessionId {
        fake().called("create_session");
        RimeSessionId id = fake().nextSession;
        if (id) fake().sessions.insert(id);
        fake().nextSession += 0x10;
        return id;
    };
    api.find_session = [](RimeSessionId id) -> Bool {
        fake().called("find_session");
        return knows(id);
    };
    api.destroy_session = [](RimeSessionId id) -> Bool {
        fake().called("destroy_session");
        return fake().sessions.erase(id) != 0;
    };
    api.process_key = [](RimeSessionId, int keycode, int mask) -> Bool {
        fake().called("process_key");
        fake().keys.emplace_back(keycode, mask);
        return fake().answer;
    };
    api.commit_composition = [](RimeSessionId) -> Bool {
        fake().called("commit_composition");
        return fake().answer;
    };
    api.clear_composition = [](RimeSessionId) { fake().called("clear_composition"); };
    api.get_commit = [](RimeSessionId, RimeCommit* c) -> Bool {
        fake().called("get_commit");
        fake().recordSizes.push_back(c->data_size);
        if (!fake().getAnswer) return False;
        fake().gets["commit"]++;
        c->text = fake().commitTextNull ? nullptr : strdup(fake().commitText.c_str());
        return True;
    };
    api.free_commit = [](RimeCommit* c) -> Bool {
        fake().called("free_commit");
        fake().frees["commit"]++;
        std::free(c->text);
        c->text = nullptr;
        return True;
    };
    api.get_context = [](RimeSessionId, RimeContext* ctx) -> Bool {
        auto& f = fake();
        f.called("get_context");
        f.recordSizes.push_back(ctx->data_size);
        if (!f.getAnswer) return False;
        f.gets["context"]++;
        ctx->composition.preedit = mutableText(f.preedit);
        ctx->composition.length = static_cast<int>(f.preedit.size());
        ctx->composition.sel_start = f.selStart;
        ctx->composition.sel_end = f.selEnd;
        ctx->composition.cursor_pos = f.cursorPos;
        f.candidateRecords.clear();
        for (auto& [text, comment] : f.candidates)
            f.candidateRecords.push_back(
                {mutableText(text), comment == "\x01" ? nullptr : mutableText(comment), nullptr});
        ctx->menu.candidates = f.candidatesNull ? nullptr : f.candidateRecords.data();
        ctx->menu.num_candidates =
            f.numCandidatesOverride >= 0 ? f.numCandidatesOverride : static_cast<int>(f.candidates.size());
        ctx->menu.page_size = f.pageSize;
        ctx->menu.page_no = f.pageNo;
        ctx->menu.is_last_page = f.lastPage;
        ctx->menu.highlighted_candidate_index = f.highlighted;
        ctx->menu.select_keys = f.selectKeys.empty() ? nullptr : mutableText(f.selectKeys);
        f.labelPointers.clear();
        for (auto& label : f.labels)
            f.labelPointers.push_back(label == "\x01" ? nullptr : mutableText(label));
        ctx->select_labels = f.labelsNull ? nullptr : f.labelPointers.data();
        ctx->commit_text_preview = f.previewNull ? nullptr : mutableText(f.preview);
        return True;
    };
    api.free_context = [](RimeContext* ctx) -> Bool {
        fake().called("free_context");
        fake().frees["context"]++;
        std::memset(reinterpret_cast<char*>(ctx) + sizeof(ctx->data_size), 0, ctx->data_size);
        return True;
    };
    api.get_status = [](RimeSessionId, RimeStatus* s) -> Bool {
        fake().called("get_status");
        fake().recordSizes.push_back(s->data_size);
        if (!fake().getAnswer) return False;
        fake().gets["status"]++;
        s->schema_id = strdup("sorvane");
        s->schema_name = nullptr;
        s->is_disabled = False;
        s->is_composing = True;
        s->is_ascii_mode = False;
        s->is_full_shape = True;
        s->is_simplified = True;
        s->is_traditional = False;
        s->is_ascii_punct = True;
        return True;
    };
    api.free_status = [](RimeStatus* s) -> Bool {
        fake().called("free_status");
        fake().frees["status"]++;
        std::free(s->schema_id);
        s->schema_id = nullptr;
        return True;
    };
    api.set_option = [](RimeSessionId, const char* name, Bool value) {
        fake().called("set_option");
        fake().options.emplace_back(name, value != 0);
    };
    api.get_option = [](RimeSessionId, const char* name) -> Bool {
        fake().called("get_option");
        return std::string(name) == "zh_hans";
    };
    api.get_schema_list = [](RimeSchemaList* list) -> Bool {
        auto& f = fake();
        f.called("get_schema_list");
        if (!f.getAnswer) return False;
        f.gets["schema_list"]++;
        f.schemaItems.clear();
        for (auto& [id, name] : f.schemas)
            f.schemaItems.push_back({mutableText(id), name.empty() ? nullptr : mutableText(name), nullptr});
        list->size = f.schemaItems.size();
        list->list = f.schemaItems.empty() ? nullptr : f.schemaItems.data();
        return True;
    };
    api.free_schema_list = [](RimeSchemaList* list) {
        fake().called("free_schema_list");
        fake().frees["schema_list"]++;
        list->size = 0;
        list->list = nullptr;
    };
    api.get_current_schema = [](RimeSessionId, char* buffer, size_t size) -> Bool {
        fake().called("get_current_schema");
        if (!fake().answer) return False;
        std::strncpy(buffer, fake().currentSchema.c_str(), size);
        return True;
    };
    api.select_schema = [](RimeSessionId, const char*) -> Bool {
        fake().called("select_schema");
        return fake().answer;
    };
    api.simulate_key_sequence = [](RimeSessionId, const char*) -> Bool {
        fake().called("simulate_key_sequence");
        return fake().answer;
    };
    api.get_input = [](RimeSessionId) -> const char* {
        fake().called("get_input");
        return fake().input.c_str();
    };
    api.get_caret_pos = [](RimeSessionId) -> size_t {
        fake().called("get_caret_pos");
        return 3;
    };
    api.select_candidate = [](RimeSessionId, size_t index) -> Bool {
        fake().called("select_candidate");
        fake().selections.push_back(index);
        return fake().answer;
    };
    api.get_version = []() -> const char* {
        fake().called("get_version");
        return fake().versionText;
    };
    api.set_caret_pos = [](RimeSessionId, size_t pos) {
        fake().called("set_caret_pos");
        fake().caretPositions.push_back(pos);
    };
    api.select_candidate_on_current_page = [](RimeSessionId, size_t index) -> Bool {
        fake().called("select_candidate_on_current_page");
        fake().selections.push_back(index);
        return fake().answer;
    };
    library_ = std::make_shared<RimeLibrary>(&api);
}

FakeRime::~FakeRime() {
    if (current == this) current = nullptr;
}

}  // namespace sorvane::testing
