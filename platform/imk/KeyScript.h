#pragma once
// A compact script of what a user does in a text field, turned into the key
// events a US keyboard would send. Used by the client tool and the
// end-to-end tests.
//
//   nihao            each character is one key; capitals and shifted symbols
//                    are typed with the left Shift held around the key
//   {space} {return} {enter} {kpenter} {tab} {backspace} {escape}
//   {left} {right} {up} {down} {home} {end} {pageup} {pagedown}
//   {shift} {lshift} {rshift}       a tap of that Shift key (held 60 ms)
//   {shift 700} {rshift 700}        a Shift held for 700 ms
//   {capslock}                      toggles Caps Lock
//   {shift+tab} {ctrl+a} {cmd+v} {opt+x} {ctrl+shift+z}
//                                   a key with modifiers held around it
//   {wait 500}                      a pause of 500 ms
//   {lbrace} {rbrace}               the characters { and }
//   {activate} {deactivate} {commit} {hide} {menu} {action openSettings:}
//   {secure on} {secure off}        session calls and field state changes
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Expected.h"
#include "platform/imk/KeyEvent.h"

namespace sorvane {

struct KeyScriptStep {
    enum class Kind { key, wait, command };
    Kind kind = Kind::key;
    KeyEvent event;        // key (timestamp left 0: the player stamps it)
    int waitMs = 0;        // wait
    std::string command;   // command: activate, deactivate, commit, hide, menu, action, secure
    std::string argument;  // the action name; "on"/"off" for secure
};

struct KeyScriptError {
    std::size_t offset = 0;  // byte offset into the script
    std::string message;
    std::string description() const { return "at " + std::to_string(offset) + ": " + message; }
};

namespace KeyScript {

inline constexpr int kShiftTapMs = 60;

Expected<std::vector<KeyScriptStep>, KeyScriptError> parse(std::string_view script);

// The US-layout key code of a character typed without modifiers (shifted:
// the character needs Shift). False when no key types it.
bool keyCodeFor(char32_t character, std::uint16_t& keyCode, bool& shifted);

}  // namespace KeyScript
}  // namespace sorvane
