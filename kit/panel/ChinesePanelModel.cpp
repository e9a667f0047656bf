#include "kit/panel/ChinesePanelModel.h"

#include "platform/Text.h"

namespace sorvane {

bool operator==(const ChineseCandidate& a, const ChineseCandidate& b) {
    if (!Text::canonicallyEqual(a.label, b.label) || !Text::canonicallyEqual(a.text, b.text)) return false;
    if (a.comment.has_value() != b.comment.has_value()) return false;
    return !a.comment || Text::canonicallyEqual(*a.comment, *b.comment);
}

bool operator==(const ChinesePanelModel& a, const ChinesePanelModel& b) {
    return Text::canonicallyEqual(a.preedit_, b.preedit_) && a.candidates_ == b.candidates_ &&
           a.highlightedIndex_ == b.highlightedIndex_ && a.pageNo_ == b.pageNo_ &&
           a.isLastPage_ == b.isLastPage_ && a.layout_ == b.layout_;
}

}  // namespace sorvane
