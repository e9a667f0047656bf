#pragma once
// Our UTF-8 text as Qt text.
#include <QString>
#include <string_view>

namespace sorvane {

inline QString qstring(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace sorvane
