#include "config/oauth2_presets.h"

namespace qm {

namespace {

constexpr oauth2_preset presets[] = {
    {"google", "Google (Gmail)", "https://accounts.google.com/o/oauth2/v2/auth", "https://oauth2.googleapis.com/token",
     "https://mail.google.com/"},
    // offline_access: without it no refresh token is handed out.
    {"microsoft", "Microsoft (Outlook.com, Microsoft 365)",
     "https://login.microsoftonline.com/common/oauth2/v2.0/authorize",
     "https://login.microsoftonline.com/common/oauth2/v2.0/token",
     "https://outlook.office.com/POP.AccessAsUser.All https://outlook.office.com/SMTP.Send offline_access"},
};

}  // namespace

std::span<const oauth2_preset> oauth2_presets() { return presets; }

const oauth2_preset* find_oauth2_preset(std::string_view name) {
    for (const oauth2_preset& preset : presets)
        if (preset.name == name) return &preset;
    return nullptr;
}

}  // namespace qm
