#pragma once
// A candidate panel that keeps what it was asked to show, for composer and
// controller tests that run without windows.
#include <vector>

#include "app/panels/CandidatePanelPresenting.h"

namespace sorvane::testing {

class RecordingCandidatePanel final : public CandidatePanelPresenting {
public:
    struct Shown {
        PanelContent content;
        Rect caretRect;
    };

    std::vector<Shown> shown;
    int hides = 0;
    int indicatorDismissals = 0;
    bool visible = false;

    void show(const PanelContent& content, Rect caretRect) override {
        shown.push_back({content, caretRect});
        visible = true;
    }
    bool isVisible() const override { return visible; }
    void hide() override {
        ++hides;
        visible = false;
    }
    void dismissModeIndicator() override { ++indicatorDismissals; }

    // The Chinese model last shown; null when none was.
    const ChinesePanelModel* lastChinese() const {
        return shown.empty() ? nullptr : shown.back().content.chineseModel();
    }
};

}  // namespace sorvane::testing
