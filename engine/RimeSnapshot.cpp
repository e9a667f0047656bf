#include "engine/RimeSnapshot.h"

#include "platform/Text.h"

namespace sorvane {

std::optional<std::pair<std::size_t, std::size_t>> RimeContextSnapshot::selectedRange() const {
    if (selStart < 0 || selStart >= selEnd || static_cast<std::size_t>(selEnd) > preedit.size())
        return std::nullopt;
    // Walk the Characters, noting where each one starts in bytes.
    std::optional<std::size_t> start;
    std::optional<std::size_t> end;
    std::size_t offset = 0;
    std::size_t index = 0;
    auto note = [&](std::size_t at, std::size_t position) {
        if (at == static_cast<std::size_t>(selStart)) start = position;
        if (at == static_cast<std::size_t>(selEnd)) end = position;
    };
    for (const auto& character : Text::characters(preedit)) {
        note(offset, index);
        offset += character.size();
        ++index;
    }
    note(offset, index);
    if (!start || !end) return std::nullopt;
    return std::pair{*start, *end};
}

std::string RimeContextSnapshot::label(int candidateIndex) const {
    if (candidateIndex >= 0) {
        auto i = static_cast<std::size_t>(candidateIndex);
        if (i < selectLabels.size()) return selectLabels[i];
        auto keys = Text::characters(selectKeys);
        if (i < keys.size()) return keys[i];
    }
    return std::to_string(static_cast<long long>(candidateIndex) + 1);
}

}  // namespace sorvane
