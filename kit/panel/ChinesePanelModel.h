#pragma once
// The engine's preedit and current page of candidates as the panel shows them.
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace sorvane {

enum class ChinesePanelLayout {
    horizontal,  // one row of candidates (the default)
    vertical,    // the grid: rows of at most six candidates
};

struct ChineseCandidate {
    // Row layout: the engine's label for the index; grid: the column number "1" to "6".
    std::string label;
    std::string text;
    // The engine's comment (e.g. a spelling hint); an empty comment is not the same as none.
    std::optional<std::string> comment;

    friend bool operator==(const ChineseCandidate& a, const ChineseCandidate& b);
};

// Everything but the layout is fixed once the model is made.
class ChinesePanelModel {
public:
    ChinesePanelModel(std::string preedit, std::vector<ChineseCandidate> candidates, int highlightedIndex,
                      int pageNo, bool isLastPage, ChinesePanelLayout layout = ChinesePanelLayout::horizontal)
        : preedit_(std::move(preedit)),
          candidates_(std::move(candidates)),
          highlightedIndex_(highlightedIndex),
          pageNo_(pageNo),
          isLastPage_(isLastPage),
          layout_(layout) {}

    const std::string& preedit() const { return preedit_; }
    const std::vector<ChineseCandidate>& candidates() const { return candidates_; }
    // The engine's value, not clamped to the page.
    int highlightedIndex() const { return highlightedIndex_; }
    // 0 is the first page.
    int pageNo() const { return pageNo_; }
    bool isLastPage() const { return isLastPage_; }
    ChinesePanelLayout layout() const { return layout_; }

    void setLayout(ChinesePanelLayout layout) { layout_ = layout; }

    friend bool operator==(const ChinesePanelModel& a, const ChinesePanelModel& b);

private:
    std::string preedit_;
    std::vector<ChineseCandidate> candidates_;
    int highlightedIndex_;
    int pageNo_;
    bool isLastPage_;
    ChinesePanelLayout layout_;
};

}  // namespace sorvane
