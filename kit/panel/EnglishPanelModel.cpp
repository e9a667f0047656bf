#include "kit/panel/EnglishPanelModel.h"

#include "platform/Text.h"

namespace sorvane {

bool operator==(const EnglishPanelPhase& a, const EnglishPanelPhase& b) {
    return a.kind_ == b.kind_ && Text::canonicallyEqual(a.reason_, b.reason_);
}

bool operator==(const EnglishPanelModel& a, const EnglishPanelModel& b) {
    return Text::canonicallyEqual(a.normalized_, b.normalized_) &&
           Text::canonicallyEqual(a.continuation_, b.continuation_) && a.isWaiting_ == b.isWaiting_ &&
           Text::canonicallyEqual(a.buffer_, b.buffer_) && a.phase_ == b.phase_ &&
           a.acceptKeys_ == b.acceptKeys_;
}

}  // namespace sorvane
