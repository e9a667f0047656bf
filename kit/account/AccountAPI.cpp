#include "kit/account/AccountAPI.h"

#include <cstdio>
#include <cstdlib>

namespace sorvane::AccountAPI {
namespace {

constexpr std::string_view productionAddress = "https://api.sorvane.example/brindor/api";

// The address is a constant of the build: one that is not an absolute https
// URL is a build fault, so the process stops at first use.
std::string checkedAddress(std::string_view address) {
    constexpr std::string_view scheme = "https://";
    const bool hasHost = address.size() > scheme.size() && address.substr(0, scheme.size()) == scheme &&
                         address[scheme.size()] != '/';
    if (!hasHost || address.find_first_of(" \t\r\n?#") != std::string_view::npos) {
        std::fprintf(stderr, "invalid account service address\n");
        std::abort();
    }
    return std::string(address);
}

}  // namespace

const std::string& productionBaseURL() {
    static const std::string url = checkedAddress(productionAddress);
    return url;
}

const std::string& baseURL() {
    return productionBaseURL();
}

const std::string& predictionBaseURL() {
    static const std::string url = appendingPathComponent(productionBaseURL(), "sorvane/v1");
    return url;
}

std::string appendingPathComponent(std::string_view url, std::string_view component) {
    while (!component.empty() && component.front() == '/') component.remove_prefix(1);
    std::string out(url);
    if (out.empty() || out.back() != '/') out += '/';
    out.append(component);
    return out;
}

}  // namespace sorvane::AccountAPI
