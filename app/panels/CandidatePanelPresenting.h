#pragma once
// The part of the shared panels that a composer drives: the candidate panel
// (show, order out) and the mode indicator (which gives way to candidates).
// Production uses the process's one CandidatePanel and ModeHUD; tests record.
#include "kit/panel/PanelContent.h"
#include "platform/Geometry.h"

namespace sorvane {

class CandidatePanelPresenting {
public:
    virtual ~CandidatePanelPresenting() = default;

    // Shows or refreshes the panel next to the caret (y-up screen coordinates).
    virtual void show(const PanelContent& content, Rect caretRect) = 0;
    virtual bool isVisible() const = 0;
    // Orders the panel out.
    virtual void hide() = 0;
    virtual void dismissModeIndicator() = 0;

    // CandidatePanel::shared() and ModeHUD::shared(), each made on first use
    // (so merely holding this makes no window).
    static CandidatePanelPresenting& shared();
};

}  // namespace sorvane
