// Reads arbitrary bytes as each reply of the account service, and as the
// signed-in user cached in the user defaults. A user that decodes is cached
// again in its own encoding, which must read back as the same user.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "kit/account/AccountClient.h"

namespace {

template <class Payload>
void decodeAs(std::string_view body) {
    (void)sorvane::AccountClient::decode<Payload>(body, 200, std::nullopt);
    (void)sorvane::AccountClient::decode<Payload>(body, 401, std::nullopt);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace sorvane;
    const std::string_view body(reinterpret_cast<const char*>(data), size);
    decodeAs<EmptyData>(body);
    decodeAs<WeChatOAuthConfig>(body);
    decodeAs<LoginResult>(body);
    if (const auto me = AccountClient::decode<MeResponse>(body, 200, std::nullopt); me && me->data)
        (void)me->data->user();
    const auto user = AccountUser::decode(body);
    if (!user) return 0;
    const auto encoded = user->encoded();
    if (encoded && AccountUser::decode(*encoded) != user) std::abort();
    return 0;
}
