#pragma once
// The settings page "打字节奏": what the typing-rhythm model has learnt from
// the English mode's key gaps, and so how long that mode now waits. It only
// reads. Every 2 s while it is on screen it asks for a fresh snapshot and
// redraws only when that differs; leaving the page stops the timer.
#include <QTimer>
#include <functional>

#include "app/settings/blocks/SettingsScroll.h"
#include "kit/english/TypingRhythm.h"

namespace sorvane {

class SettingsGroup;

class TypingRhythmPage final : public SettingsScroll {
public:
    using SnapshotSource = std::function<TypingRhythm::Snapshot()>;
    static constexpr std::chrono::seconds refreshInterval{2};

    // `source` is the settings model's rhythm snapshot; the page starts from `initial`.
    TypingRhythmPage(SnapshotSource source, TypingRhythm::Snapshot initial, QWidget* parent = nullptr);

    const TypingRhythm::Snapshot& snapshot() const { return snapshot_; }
    // One refresh step: a new snapshot replaces the shown one only when it differs.
    void refresh();
    bool refreshing() const { return timer_.isActive(); }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void rebuild();

    SnapshotSource source_;
    TypingRhythm::Snapshot snapshot_;
    QTimer timer_;
    // The three cards, each holding one row that a new snapshot replaces.
    SettingsGroup* groups_[3] = {};
    QWidget* summary_ = nullptr;
    QWidget* histogram_ = nullptr;
    QWidget* hours_ = nullptr;
};

}  // namespace sorvane
