#pragma once
// An engine notification (deployment, schema change, option change), parsed
// from librime's two texts.
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace sorvane {

class RimeNotification {
public:
    enum class DeployPhase { start, success, failure };
    static std::optional<DeployPhase> deployPhase(std::string_view rawValue);
    static std::string_view rawValue(DeployPhase phase);

    struct Deploy {
        DeployPhase phase = DeployPhase::start;
        bool operator==(const Deploy&) const = default;
    };
    struct Schema {
        std::string id;
        std::string name;
        bool operator==(const Schema&) const = default;
    };
    struct Option {
        std::string name;
        bool enabled = false;
        bool operator==(const Option&) const = default;
    };
    struct Other {
        std::string type;
        std::string value;
        bool operator==(const Other&) const = default;
    };
    using Value = std::variant<Deploy, Schema, Option, Other>;

    RimeNotification(Value value) : value_(std::move(value)) {}
    RimeNotification(Deploy v) : value_(std::move(v)) {}
    RimeNotification(Schema v) : value_(std::move(v)) {}
    RimeNotification(Option v) : value_(std::move(v)) {}
    RimeNotification(Other v) : value_(std::move(v)) {}
    // Parses librime's (type, value) pair; types compare case-sensitively.
    static RimeNotification parse(std::string_view type, std::string_view value);

    const Value& value() const { return value_; }
    template <class T>
    const T* as() const {
        return std::get_if<T>(&value_);
    }

    // "deploy(success)", "schema(id: luna, name: Luna)",
    // "option(name: ascii_mode, enabled: true)", "other(type: t, value: v)".
    std::string description() const;

    bool operator==(const RimeNotification&) const = default;

private:
    Value value_;
};

}  // namespace sorvane
