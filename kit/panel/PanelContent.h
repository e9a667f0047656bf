#pragma once
// What the one candidate panel shows: the Chinese candidates or the English
// suggestion state.
#include <utility>
#include <variant>

#include "kit/panel/ChinesePanelModel.h"
#include "kit/panel/EnglishPanelModel.h"

namespace sorvane {

class PanelContent {
public:
    enum class Kind { chinese, english };

    static PanelContent chinese(ChinesePanelModel model) { return PanelContent(std::move(model)); }
    static PanelContent english(EnglishPanelModel model) { return PanelContent(std::move(model)); }

    Kind kind() const { return value_.index() == 0 ? Kind::chinese : Kind::english; }
    // The model of the matching kind, or null.
    const ChinesePanelModel* chineseModel() const { return std::get_if<ChinesePanelModel>(&value_); }
    const EnglishPanelModel* englishModel() const { return std::get_if<EnglishPanelModel>(&value_); }

    // Contents of different kinds are never equal, even when both are empty.
    friend bool operator==(const PanelContent& a, const PanelContent& b) { return a.value_ == b.value_; }

private:
    template <class Model>
    explicit PanelContent(Model model) : value_(std::move(model)) {}

    std::variant<ChinesePanelModel, EnglishPanelModel> value_;
};

}  // namespace sorvane
