#include "engine/RimeNotification.h"

namespace sorvane {

std::optional<RimeNotification::DeployPhase> RimeNotification::deployPhase(std::string_view raw) {
    if (raw == "start") return DeployPhase::start;
    if (raw == "success") return DeployPhase::success;
    if (raw == "failure") return DeployPhase::failure;
    return std::nullopt;
}

std::string_view RimeNotification::rawValue(DeployPhase phase) {
    switch (phase) {
        case DeployPhase::start:
            return "start";
        case DeployPhase::success:
            return "success";
        case DeployPhase::failure:
            return "failure";
    }
    return "start";
}

RimeNotification RimeNotification::parse(std::string_view type, std::string_view value) {
    if (type == "deploy") return Deploy{deployPhase(value).value_or(DeployPhase::start)};
    if (type == "schema") {
        auto slash = value.find('/');
        if (slash == std::string_view::npos) return Schema{std::string(value), std::string(value)};
        return Schema{std::string(value.substr(0, slash)), std::string(value.substr(slash + 1))};
    }
    if (type == "option") {
        if (!value.empty() && value.front() == '!') return Option{std::string(value.substr(1)), false};
        return Option{std::string(value), true};
    }
    return Other{std::string(type), std::string(value)};
}

std::string RimeNotification::description() const {
    struct Describe {
        std::string operator()(const Deploy& d) const {
            return "deploy(" + std::string(rawValue(d.phase)) + ")";
        }
        std::string operator()(const Schema& s) const {
            return "schema(id: " + s.id + ", name: " + s.name + ")";
        }
        std::string operator()(const Option& o) const {
            return "option(name: " + o.name + ", enabled: " + (o.enabled ? "true" : "false") + ")";
        }
        std::string operator()(const Other& o) const {
            return "other(type: " + o.type + ", value: " + o.value + ")";
        }
    };
    return std::visit(Describe{}, value_);
}

}  // namespace sorvane
