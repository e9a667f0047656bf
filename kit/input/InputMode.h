#pragma once
// The three input modes, in the order the controller and the indicator use.
#include <string_view>

namespace sorvane {

enum class InputMode { chinese, english, ascii };

// The case name, as log lines and file names write it.
constexpr std::string_view inputModeName(InputMode mode) {
    switch (mode) {
        case InputMode::chinese:
            return "chinese";
        case InputMode::english:
            return "english";
        case InputMode::ascii:
            return "ascii";
    }
    return "chinese";
}

}  // namespace sorvane
