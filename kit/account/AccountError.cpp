#include "kit/account/AccountError.h"

#include <cxxabi.h>

#include <cstdlib>
#include <memory>
#include <typeinfo>

namespace sorvane {

AccountError AccountError::http(int status, std::optional<std::string> message) {
    return AccountError(Kind::http, status, std::move(message));
}

AccountError AccountError::server(std::string message) {
    return AccountError(Kind::server, 0, std::move(message));
}

AccountError AccountError::invalidResponse() {
    return AccountError(Kind::invalidResponse, 0, std::nullopt);
}

std::string AccountError::errorDescription() const {
    switch (kind_) {
        case Kind::http:
            if (message_) return "服务器错误（" + std::to_string(status_) + "）：" + *message_;
            return "服务器暂时不可用（" + std::to_string(status_) + "）";
        case Kind::server:
            return message_.value_or("");
        case Kind::invalidResponse:
            return "服务器返回了无法识别的内容";
    }
    return {};
}

OtherError OtherError::from(const std::exception& e) {
    const char* mangled = typeid(e).name();
    int status = 0;
    std::unique_ptr<char, void (*)(void*)> demangled(abi::__cxa_demangle(mangled, nullptr, nullptr, &status),
                                                     std::free);
    return OtherError{status == 0 && demangled ? demangled.get() : mangled, e.what()};
}

namespace {

template <class... F>
struct Overloaded : F... {
    using F::operator()...;
};
template <class... F>
Overloaded(F...) -> Overloaded<F...>;

}  // namespace

std::string AccountError::logToken(const AccountFailure& failure) {
    return std::visit(Overloaded{
                          [](const AccountError& e) -> std::string {
                              switch (e.kind()) {
                                  case AccountError::Kind::http:
                                      return "http(" + std::to_string(e.status()) + ")";
                                  case AccountError::Kind::server:
                                      return "server";
                                  case AccountError::Kind::invalidResponse:
                                      return "invalidResponse";
                              }
                              return {};
                          },
                          [](const URLError& e) { return e.token(); },
                          [](const OtherError& e) { return e.typeName; },
                      },
                      failure);
}

std::string accountFailureDescription(const AccountFailure& failure) {
    return std::visit(Overloaded{
                          [](const AccountError& e) { return e.errorDescription(); },
                          [](const URLError& e) { return e.description; },
                          [](const OtherError& e) { return e.description; },
                      },
                      failure);
}

bool isCancellation(const AccountFailure& failure) {
    const auto* url = std::get_if<URLError>(&failure);
    return url && url->code == URLError::cancelled;
}

}  // namespace sorvane
