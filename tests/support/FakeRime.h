#pragma once
// A librime function table whose entries record every call and answer from
// canned state, so the engine wrapper can be tested without librime.
#include <map>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/RimeLibrary.h"

namespace sorvane::testing {

struct FakeRime {
    FakeRime();
    ~FakeRime();
    FakeRime(const FakeRime&) = delete;

    // A library over this table (setup state of its own, like a fresh process).
    std::shared_ptr<RimeLibrary> library() const { return library_; }
    // The table itself, to blank entries out.
    RimeApi api;

    struct Traits {
        std::string sharedDataDir, userDataDir, appName, logDir, prebuiltDataDir, stagingDir;
        std::string distributionName, codeName, version;
        int minLogLevel = 0;
        int dataSize = 0;
        bool hasLogDir = false;
    };

    // What happened.
    std::vector<std::string> calls;
    std::vector<Traits> setupTraits, initializeTraits, deployerTraits;
    const char* setupAppNamePointer = nullptr;  // the string librime keeps
    std::vector<std::pair<int, int>> keys;
    std::map<std::string, int> gets, frees;
    std::vector<int> recordSizes;  // data_size of every record handed in
    std::vector<std::size_t> selections, caretPositions;
    std::vector<std::pair<std::string, bool>> options;

    // Entries whose name begins with this throw, as librime does on a data
    // folder it cannot read; "*": every entry.
    std::string throwing;
    void called(const std::string& entry) {
        calls.push_back(entry);
        if (!throwing.empty() && (throwing == "*" || entry.starts_with(throwing)))
            throw std::runtime_error("boost::filesystem::status: Permission denied: \"" + entry + "\"");
    }

    // How to answer.
    RimeSessionId nextSession = 0x7f0000001000;
    std::set<RimeSessionId> sessions;
    bool answer = true;  // process_key, select_*, commit_composition, deploy...
    bool maintenanceNeeded = true;
    bool getAnswer = true;  // get_context, get_status, get_commit, get_schema_list
    const char* versionText = "1.8.5";
    std::string input = "nihao";
    std::string commitText = "你好";
    bool commitTextNull = false;
    std::string currentSchema = "sorvane";

    // The context handed out; pointers refer to the storage below.
    std::string preedit = "ni hao";
    int selStart = 0, selEnd = 6, cursorPos = 6;
    // Text and comment; a comment "\x01" is a null pointer, "" an empty text.
    std::vector<std::pair<std::string, std::string>> candidates = {{"你好", "\x01"}, {"拟好", "comment"}};
    bool candidatesNull = false;
    int numCandidatesOverride = -1;
    int pageSize = 12, pageNo = 0, highlighted = 0;
    bool lastPage = true;
    std::string selectKeys;           // empty: null
    std::vector<std::string> labels;  // "\x01" entries become null
    bool labelsNull = true;
    std::string preview = "你好";
    bool previewNull = false;

    std::vector<std::pair<std::string, std::string>> schemas = {{"sorvane", "Sorvane 拼音"}};

    RimeNotificationHandler handler = nullptr;
    void* handlerContext = nullptr;
    void notify(const char* type, const char* value) {
        if (handler) handler(handlerContext, 0, type, value);
    }

    static FakeRime* current;

    // Backing storage of the last record handed out.
    std::vector<RimeCandidate> candidateRecords;
    std::vector<char*> labelPointers;
    std::vector<RimeSchemaListItem> schemaItems;

private:
    std::shared_ptr<RimeLibrary> library_;
};

}  // namespace sorvane::testing
