#include "message/draft_header.h"

#include "base/find_nocase.h"
#include "text/address_list.h"

namespace qm {

namespace {

constexpr std::string_view recipient_fields[] = {"To", "Cc", "Bcc"};

bool is_blank(char c) { return c == ' ' || c == '\t'; }

// Adds the usable addresses of one field; false, with the fault noted, at
// the first mailbox that has none.
bool take_addresses(const header_field& field, std::size_t address_limit, envelope_reading& reading,
                    std::vector<std::string>& addresses) {
    for (listed_mailbox& mailbox : list_mailboxes(field.value)) {
        if (mailbox.address.empty() || mailbox.address.size() > address_limit) {
            reading.fault = envelope_fault::unusable_address;
            reading.unusable = std::move(mailbox.written);
            return false;
        }
        addresses.push_back(std::move(mailbox.address));
    }
    return true;
}

}  // namespace

std::vector<std::string_view> draft_lines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    for (std::size_t pos = 0; pos < text.size(); ++pos) {
        if (text[pos] != '\n' && text[pos] != '\r') continue;
        lines.push_back(text.substr(start, pos - start));
        if (text[pos] == '\r' && pos + 1 < text.size() && text[pos + 1] == '\n') ++pos;
        start = pos + 1;
    }
    if (start < text.size()) lines.push_back(text.substr(start));
    return lines;
}

std::vector<header_field> draft_header_fields(std::string_view text) {
    std::vector<header_field> fields;
    bool continuing = false;
    for (std::string_view line : draft_lines(text)) {
        if (line.empty()) continue;
        if (is_blank(line[0])) {
            if (continuing) fields.back().value += line;
            continue;
        }
        // A colon is never the second byte of a double-byte character.
        std::size_t colon = line.find(':');
        continuing = colon != std::string_view::npos;
        if (!continuing) continue;
        std::string_view name = line.substr(0, colon);
        while (!name.empty() && is_blank(name.back())) name.remove_suffix(1);
        fields.push_back({std::string(name), std::string(line.substr(colon + 1))});
    }
    return fields;
}

const header_field* find_field(const std::vector<header_field>& fields, std::string_view name) {
    for (const header_field& field : fields) {
        if (equals_nocase(field.name, name)) return &field;
    }
    return nullptr;
}

envelope_reading read_draft_envelope(const std::vector<header_field>& fields, std::size_t address_limit) {
    envelope_reading reading;
    std::vector<std::string> senders;
    const header_field* from = find_field(fields, "From");
    if (from && !take_addresses(*from, address_limit, reading, senders)) return reading;
    if (senders.empty()) {
        reading.fault = envelope_fault::no_sender;
        return reading;
    }
    reading.envelope.sender = std::move(senders.front());
    for (std::string_view name : recipient_fields) {
        for (const header_field& field : fields) {
            if (equals_nocase(field.name, name) &&
                !take_addresses(field, address_limit, reading, reading.envelope.recipients))
                return reading;
        }
    }
    if (reading.envelope.recipients.empty()) reading.fault = envelope_fault::no_recipient;
    return reading;
}

}  // namespace qm
