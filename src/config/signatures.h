#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qm {

// An account's signatures and templates: list files in its account
// directory (`account_root`, ending with "/"). "sign.lst" holds one item per
// signature; a template is the item of its name in "templt_h.lst" (its
// header lines) and the item of the same name, at the same position, in
// "templt_b.lst" (its body lines). Items stand in byte order of their names;
// a list file that loses its last item is deleted.

inline constexpr std::string_view signature_list_name = "sign.lst";
inline constexpr std::string_view template_header_list_name = "templt_h.lst";
inline constexpr std::string_view template_body_list_name = "templt_b.lst";

inline constexpr int max_signatures = 99;
inline constexpr int max_templates = 99;
// Names are at most 127 bytes.
inline constexpr std::size_t signature_name_capacity = 128;

// The text of an editing dialog as it is stored: every carriage return and
// TAB removed, and one final line feed.
std::string clean_list_text(std::string_view text);

bool signature_exists(std::string_view account_root, std::string_view name);
// The index-th signature's name (from 0).
bool signature_name(std::string_view account_root, int index, std::string& name,
                    std::size_t capacity = signature_name_capacity);
// The signature's lines for an edit field, each followed by "\r\n" while
// more than two bytes of `capacity` remain; at most capacity - 1 bytes.
std::string signature_text(std::string_view account_root, std::string_view name, std::size_t capacity);
// Stores a signature at its sorted place. False, with the list unchanged,
// for an empty name, a name longer than 127 bytes, a name already used, or
// a failed write.
bool save_signature(std::string_view account_root, std::string_view name, std::string_view text);
bool delete_signature(std::string_view account_root, int index);
// Edits the signature `old_name`: the new entry (under `new_name`, which may
// be the same) is written first, and the old one removed only then, so that
// a failure never loses the signature. False, with the list unchanged, for a
// new name that cannot be used or is another signature's, and for a failed
// write; false with both entries kept when only the removal failed.
bool replace_signature(std::string_view account_root, std::string_view old_name, std::string_view new_name,
                       std::string_view text);
// Appends the signature's lines to the body file.
bool append_signature(std::string_view account_root, std::string_view name, std::string_view body_file);

bool template_exists(std::string_view account_root, std::string_view name);
bool template_name(std::string_view account_root, int index, std::string& name,
                   std::size_t capacity = signature_name_capacity);
// Both texts for edit fields, as signature_text gives them. False when the
// template is missing from either file.
bool template_text(std::string_view account_root, std::string_view name, std::string& header,
                   std::size_t header_capacity, std::string& body, std::size_t body_capacity);
// Stores the template in both files at its sorted place; when the second
// file fails the first is put back as it was.
bool save_template(std::string_view account_root, std::string_view name, std::string_view header,
                   std::string_view body);
// Edits the template `old_name` in both files, the new entry first, as
// replace_signature does.
bool replace_template(std::string_view account_root, std::string_view old_name, std::string_view new_name,
                      std::string_view header, std::string_view body);

// Removes the index-th template from both files.
bool delete_template(std::string_view account_root, int index);
// Appends the template's header lines to the draft's header file and, when
// a body file is given (not empty), its body lines to the body file. False,
// with nothing appended, when the template is missing from either file.
bool apply_template(std::string_view account_root, std::string_view name, std::string_view header_file,
                    std::string_view body_file);

}  // namespace qm
