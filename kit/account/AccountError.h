#pragma once
// Failures of the account client. The service's own answers become an
// AccountError with a short Chinese text for the user; transport failures
// keep the transport's URLError; anything else (a body that cannot be
// serialised) is carried with its type's name. Log lines only ever carry the
// log token, never the user-facing text.
#include <exception>
#include <optional>
#include <string>
#include <variant>

#include "platform/HttpClient.h"

namespace sorvane {

// A failure that is neither the service's answer nor the transport's.
struct OtherError {
    std::string typeName;
    std::string description;
    bool operator==(const OtherError&) const = default;

    // Keeps the (demangled) dynamic type name of a caught exception.
    static OtherError from(const std::exception& e);
};

class AccountError;
// URLError comes first so that a failure default-constructs (Expected<void>).
using AccountFailure = std::variant<URLError, AccountError, OtherError>;

class AccountError {
public:
    enum class Kind { http, server, invalidResponse };

    static AccountError http(int status, std::optional<std::string> message = std::nullopt);
    static AccountError server(std::string message);
    static AccountError invalidResponse();

    Kind kind() const { return kind_; }
    // `http` only.
    int status() const { return status_; }
    // The service's message of `http` (optional) or the text of `server`.
    const std::optional<std::string>& message() const { return message_; }

    // The text the account views show.
    std::string errorDescription() const;

    // "http(401)", "server", "invalidResponse", "URLError(-1004)", or the
    // type's name of any other failure.
    static std::string logToken(const AccountFailure& failure);

    bool operator==(const AccountError&) const = default;

private:
    AccountError(Kind kind, int status, std::optional<std::string> message)
        : kind_(kind), status_(status), message_(std::move(message)) {}

    Kind kind_;
    int status_ = 0;
    std::optional<std::string> message_;
};

// The text for the user: errorDescription for AccountError, else the
// transport's or the error's own description.
std::string accountFailureDescription(const AccountFailure& failure);
// A cancelled transfer: leaves no trace in the store.
bool isCancellation(const AccountFailure& failure);

}  // namespace sorvane
