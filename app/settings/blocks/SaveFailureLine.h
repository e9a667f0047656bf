#pragma once
// Why the last settings change was not saved, in orange under the controls
// it concerns; hidden while every change was saved. Main thread only.
//
//   failure_->follow(model_.saveFailure());   // in the page's refresh
#include <optional>
#include <string>

#include "app/settings/style/SettingsText.h"

namespace sorvane {

class SaveFailureLine final : public SettingsText {
public:
    explicit SaveFailureLine(QWidget* parent = nullptr);

    void follow(const std::optional<std::string>& failure);
};

}  // namespace sorvane
