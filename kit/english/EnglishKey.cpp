#include "kit/english/EnglishKey.h"

#include "platform/Text.h"

namespace sorvane {

bool operator==(const EnglishKey& a, const EnglishKey& b) {
    return a.kind_ == b.kind_ && Text::canonicallyEqual(a.characters_, b.characters_);
}

}  // namespace sorvane
