#pragma once
// A still picture of the English suggestion panel for the settings pages:
// the typed text underlined as marked text, then the dark panel with
// "⇥ I want to book a table ⇧⇥ for two at seven." and the "Sorvane" tag.
// It looks the same in light and dark, and for either accept keys.
//
//   new MockSuggestionPanel(AcceptKeys::tabNormalized, QStringLiteral("wo xiang book a table"));
#include <QString>
#include <QWidget>
#include <optional>

#include "kit/input/AcceptKeys.h"

namespace sorvane {

class MockSuggestionPanel final : public QWidget {
public:
    MockSuggestionPanel(AcceptKeys acceptKeys, const std::optional<QString>& typed,
                        QWidget* parent = nullptr);

    AcceptKeys acceptKeys() const { return acceptKeys_; }
    // The panel without the typed line.
    QWidget* panel() const { return panel_; }

private:
    AcceptKeys acceptKeys_;
    QWidget* panel_;
};

}  // namespace sorvane
