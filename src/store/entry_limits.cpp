#include "store/entry_limits.h"

#include <string>

#include "config/account_settings.h"
#include "config/list_file.h"
#include "config/signatures.h"
#include "platform/file_operations.h"
#include "platform/string_table.h"

namespace qm {

namespace {

int check_list_room(std::string_view account_root, std::string_view list_name, int limit) {
    const std::string path = std::string(account_root) + std::string(list_name);
    // list_count gives -1 for a missing list too, which holds no item.
    if (!path_exists(path)) return 0;
    const int count = list_count(path);
    if (count < 0) return str::file_error;
    return count >= limit ? str::too_many_items : 0;
}

}  // namespace

int check_new_account(std::string_view mailbox) {
    return list_accounts(mailbox).size() >= static_cast<std::size_t>(max_accounts) ? str::too_many_items : 0;
}

int check_new_signature(std::string_view account_root) {
    return check_list_room(account_root, signature_list_name, max_signatures);
}

// The header list names the templates; the body list follows it.
int check_new_template(std::string_view account_root) {
    return check_list_room(account_root, template_header_list_name, max_templates);
}

}  // namespace qm
