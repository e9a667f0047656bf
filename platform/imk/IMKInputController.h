#pragma once
// The base of every input controller: one instance per client session,
// created by the server's controller factory and called on the main thread.
// Every entry point has a harmless default, so a controller overrides only
// what it handles.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/imk/InputClient.h"
#include "platform/imk/KeyEvent.h"

namespace sorvane {

class IMKServer;

// One entry of the input method's menu. `action` names the entry point that
// performMenuAction() receives when the user picks it (e.g. "openSettings:").
struct MenuItem {
    std::string title;
    std::string action;
    std::string keyEquivalent;
    bool operator==(const MenuItem&) const = default;
};

class IMKInputController {
public:
    // `server` is absent when a test drives the controller without one.
    IMKInputController(IMKServer* server, InputClient* client) : server_(server), client_(client) {}
    virtual ~IMKInputController() = default;
    IMKInputController(const IMKInputController&) = delete;
    IMKInputController& operator=(const IMKInputController&) = delete;

    // Which event types handleEvent() wants (EventMask bits); others are
    // answered "not consumed" without calling it.
    virtual std::uint64_t recognizedEvents(InputClient* sender) const;
    virtual void activateServer(InputClient* sender);
    virtual void deactivateServer(InputClient* sender);
    // True when the controller consumed the event; false lets the
    // application handle the key itself.
    virtual bool handleEvent(const KeyEvent& event, InputClient* sender);
    // The framework asks for the composition to be finished now (focus
    // moved, the application was clicked).
    virtual void commitComposition(InputClient* sender);
    virtual void hidePalettes();
    virtual std::vector<MenuItem> menu();
    // False when the controller has no such action.
    virtual bool performMenuAction(const std::string& action, InputClient* sender);

    IMKServer* server() const { return server_; }
    // The client this controller was created for; the session keeps it alive
    // for the controller's whole life.
    InputClient* client() const { return client_; }

private:
    IMKServer* server_;
    InputClient* client_;
};

}  // namespace sorvane
