#pragma once

#include <span>
#include <string_view>

namespace qm {

// The OAuth 2.0 endpoints and scopes of the large providers, as they
// publish them for desktop programs. The client id is the user's own
// registration and is never part of a preset.
struct oauth2_preset {
    std::string_view name;   // as `--oauth2-preset` takes it
    std::string_view label;  // as the account dialog lists it
    std::string_view authorize_url, token_url, scope;
};

std::span<const oauth2_preset> oauth2_presets();
// The preset of that name; nullptr when there is none.
const oauth2_preset* find_oauth2_preset(std::string_view name);

}  // namespace qm
