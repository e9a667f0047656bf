#include "app/panels/CandidatePanelPresenting.h"

#include "app/panels/CandidatePanel.h"
#include "app/panels/ModeHUD.h"

namespace sorvane {
namespace {

class SharedPanels final : public CandidatePanelPresenting {
public:
    void show(const PanelContent& content, Rect caretRect) override {
        CandidatePanel::shared().show(content, caretRect);
    }
    bool isVisible() const override { return CandidatePanel::shared().isVisible(); }
    void hide() override { CandidatePanel::shared().hide(); }
    void dismissModeIndicator() override { ModeHUD::shared().dismiss(); }
};

}  // namespace

CandidatePanelPresenting& CandidatePanelPresenting::shared() {
    static SharedPanels panels;
    return panels;
}

}  // namespace sorvane
