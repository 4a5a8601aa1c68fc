#include "store/mail_list.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <optional>
#include <system_error>
#include <map>
#include <thread>
#include <unordered_map>

#include "config/address_book.h"
#include "config/folder_names.h"
#include "message/header_fields.h"
#include "message/header_reader.h"
#include "message/message_lines.h"
#include "platform/file_operations.h"
#include "platform/open_directory.h"
#include "platform/string_table.h"
#include "platform/text_file.h"
#include "store/mail_reading.h"
#include "store/mailbox_layout.h"
#include "store/message_status.h"
#include "base/find_nocase.h"
#include "base/format.h"
#include "text/mail_address.h"
#include "text/mail_date.h"
#include "text/unicode_forms.h"
#include "text/utf8_sjis.h"
#include "base/multibyte.h"

namespace qm {

namespace {

constexpr std::size_t npos = std::string_view::npos;

constexpr std::string_view from_field = "From";
// Composed mail shows its first recipient: the first of these fields that
// the header has.
constexpr std::array<std::string_view, 3> recipient_fields = {"To", "Cc", "Bcc"};
// The thread key is the first word of the first of these fields: the root
// of the references, else the parent, else the message's own id.
constexpr std::array<std::string_view, 3> thread_fields = {"References", "In-Reply-To", "Message-ID"};
constexpr std::string_view column_titles_end = "end";

// Message directories are read on up to this many threads, one more for
// every so many messages, each taking this many at a time.
constexpr std::size_t max_list_readers = 4;
constexpr std::size_t messages_per_reader = 500;
constexpr std::size_t reading_batch = 64;

// What ties a message to its conversation: every id its header names (its
// own, those of References and In-Reply-To), and for a message that answers
// nothing (no References, no In-Reply-To) its topic: the subject without the
// marks of replies and forwards, so that a reply from a program that names
// no ids still joins the mail it answers.
struct thread_facts {
    std::vector<std::string> ids;
    std::string topic;
};

// What a header without a Subject line gives as its subject.
constexpr std::string_view unknown_subject = "???";
// "Re:", "Fwd:" and the like at the start of a subject, any case.
constexpr std::array<std::string_view, 6> subject_marks = {"Re:", "Fwd:", "Fw:", "AW:", "WG:", "Tr:"};

std::string subject_topic(std::string_view subject) {
    for (bool stripped = true; stripped;) {
        subject.remove_prefix(std::min(subject.find_first_not_of(" \t"), subject.size()));
        stripped = false;
        for (std::string_view mark : subject_marks) {
            if (starts_with_nocase(subject, mark)) {
                subject.remove_prefix(mark.size());
                stripped = true;
            }
        }
    }
    while (!subject.empty() && (subject.back() == ' ' || subject.back() == '\t')) subject.remove_suffix(1);
    return std::string(subject);
}

thread_facts header_thread_facts(const header_reader& header, std::string_view subject) {
    thread_facts facts;
    for (std::string_view field : thread_fields) {
        for (std::string& id : header.words(field, thread_key_capacity)) facts.ids.push_back(std::move(id));
    }
    const bool answers = header.has_line(thread_fields[0]) || header.has_line(thread_fields[1]);
    if (!answers && subject != unknown_subject) facts.topic = subject_topic(subject);
    return facts;
}

// The messages of one conversation share a thread key: messages are joined
// when one names an id another names (their own or one they answer), and
// messages that answer nothing when their topics agree. Every message of a
// conversation then takes the key most of them have by the rule of
// header_thread_key (the first id of References, else of In-Reply-To, else
// the message's own id): for a conversation whose every reply names its
// root first, that is the root's id, as before.
void join_threads(std::vector<mail_row>& rows, const std::vector<std::pair<std::size_t, thread_facts>>& facts) {
    std::vector<std::size_t> parent(facts.size());
    for (std::size_t i = 0; i < parent.size(); ++i) parent[i] = i;
    auto root = [&](std::size_t i) {
        while (parent[i] != i) i = parent[i] = parent[parent[i]];
        return i;
    };
    auto join = [&](std::size_t a, std::size_t b) { parent[root(a)] = root(b); };
    std::unordered_map<std::string_view, std::size_t> first_naming;
    std::unordered_map<std::string_view, std::size_t> first_topic;
    for (std::size_t i = 0; i < facts.size(); ++i) {
        for (const std::string& id : facts[i].second.ids) {
            auto [at, fresh] = first_naming.emplace(id, i);
            if (!fresh) join(i, at->second);
        }
        if (facts[i].second.topic.empty()) continue;
        auto [at, fresh] = first_topic.emplace(facts[i].second.topic, i);
        if (!fresh) join(i, at->second);
    }
    // The key each conversation takes: the most common, the smaller text on
    // a tie (the map keeps the keys in order).
    std::unordered_map<std::size_t, std::map<std::string, std::size_t>> counts;
    for (std::size_t i = 0; i < facts.size(); ++i) {
        const std::string& key = rows[facts[i].first].text[column_thread];
        if (!key.empty()) ++counts[root(i)][key];
    }
    std::unordered_map<std::size_t, std::string> chosen;
    for (const auto& [conversation, keys] : counts) {
        auto best = keys.begin();
        for (auto it = keys.begin(); it != keys.end(); ++it) {
            if (it->second > best->second) best = it;
        }
        chosen[conversation] = best->first;
    }
    for (std::size_t i = 0; i < facts.size(); ++i) {
        auto found = chosen.find(root(i));
        if (found != chosen.end()) rows[facts[i].first].text[column_thread] = found->second;
    }
}

std::string header_thread_key(const header_reader& header) {
    for (std::string_view field : thread_fields) {
        if (std::optional<std::string> key = header.token(field, thread_key_capacity)) return *key;
    }
    return {};
}

// The field the party column shows: received mail its sender; composed mail
// ("D" draft, "S" sent) its first recipient.
std::string_view party_field(const header_reader& header, std::string_view attribute) {
    char type = attribute.empty() ? ' ' : attribute.front();
    if (type != type_draft && type != type_sent) return from_field;
    for (std::string_view candidate : recipient_fields) {
        if (header.has_line(candidate)) return candidate;
    }
    return recipient_fields.back();
}

// The party: an address that an address-book entry holds shows as that
// entry's name, else as the display name the mail gives it, else as itself.
// `name` takes the display name when that is what is shown.
std::string header_party(const header_reader& header, std::string_view field,
                         const std::vector<std::pair<std::string, std::string>>& address_book, std::string& name) {
    std::string address;
    if (!header.address(field, 0, address, party_capacity, name, party_capacity) || address.empty()) {
        name.clear();
        return std::string(unknown_party);
    }
    for (const auto& [entry, entry_address] : address_book) {
        if (entry_address == address) {
            name.clear();
            return entry.substr(0, party_capacity - 1);
        }
    }
    if (name.empty()) return address;
    return name;
}

// The subject and the display name as sent, where their CP932 forms lost
// characters: read from the message's raw copy only then.
void give_back_lost_characters(const open_directory& folder, std::string_view message_dir_name,
                               const header_reader& header, std::string_view party_field_name,
                               const std::string& display_name, mail_row& row) {
    const std::string& subject = row.text[column_subject];
    const bool subject_lost = holds_lost_character_mark(subject);
    const bool name_lost = !display_name.empty() && holds_lost_character_mark(display_name);
    if (!subject_lost && !name_lost) return;
    sent_header raw = sent_header::in_folder(folder, message_dir_name);
    if (subject_lost) row.subject_as_sent = raw.shown("Subject", subject, true);
    if (name_lost) {
        std::string stored = std::string(header.value(party_field_name).value_or(""));
        std::size_t at = mbs_find(stored, display_name);
        if (at != npos) row.party_as_sent = raw.shown_piece(party_field_name, stored, at, display_name.size());
    }
}

// Whether the text holds the search text within one of the pieces a file
// reader hands out: each line cut after every 1000 bytes.
bool text_contains_in_pieces(std::string_view text, std::string_view search) {
    const std::size_t piece_size = message_line_capacity - 1;
    line_splitter lines(text);
    std::string_view line;
    while (lines.next(line)) {
        for (std::size_t start = 0; start < line.size(); start += piece_size) {
            if (mbs_find(line.substr(start, piece_size), search) != npos) return true;
        }
    }
    return false;
}

// The attribute text's places: type, "@", "R", "F", then "*" for a match.
void set_attribute_fields(mail_row& row) {
    const std::string& attribute = row.text[column_attribute];
    auto at = [&](std::size_t place) { return place < attribute.size() ? attribute[place] : ' '; };
    row.type = at(0) == '*' ? ' ' : at(0);
    row.attachment = at(1) == '@';
    row.replied = at(2) == 'R';
    row.forwarded = at(3) == 'F';
    row.search_match = attribute.find('*') != std::string::npos;
}

std::string row_number_text(std::string_view message_dir_name) {
    return std::string(message_dir_name.substr(std::min<std::size_t>(1, message_dir_name.size())));
}

// The numbered files of a message directory, by name relative to its folder.
std::string part_name(std::string_view message_dir_name, int part) {
    return std::string(message_dir_name) + "/" + std::to_string(part);
}

// The row of one message: its header "0" and, when the header has no status
// line, its status file are each read once; the other numbered files are
// only measured, unless the search has to look into them.
mail_row message_row_in(const open_directory& folder, std::string_view folder_path, std::string_view message_dir_name,
                        std::string_view search_text, thread_facts* facts,
                        const std::vector<std::pair<std::string, std::string>>& address_book) {
    header_reader header;
    std::size_t header_bytes = 0;
    const bool header_read = header.read(folder, part_name(message_dir_name, 0), &header_bytes);

    mail_row row;
    std::string& attribute = row.text[column_attribute];
    attribute = attribute_text_of(header, [&] {
        std::string bytes;
        folder.read_small_file(std::string(message_dir_name) + "/" + std::string(status_file_name), bytes);
        return text_mode_text(bytes);
    });
    row.text[column_date] = format_header_list_date(header.text());
    const std::string_view field = party_field(header, attribute);
    std::string display_name;
    row.text[column_party] = header_party(header, field, address_book, display_name);
    // A header that cannot be read gives an empty subject, not the "???" of
    // a header without a Subject line.
    if (header_read) row.text[column_subject] = header.subject(subject_capacity);
    row.text[column_thread] = header_thread_key(header);
    if (facts) *facts = header_thread_facts(header, row.text[column_subject]);
    give_back_lost_characters(folder, message_dir_name, header, field, display_name, row);

    // The numbered files run without a gap from "0"; their sizes add up, and
    // the search looks into each until one holds the text.
    std::uint64_t total = 0;
    for (int part = 0;; ++part) {
        const std::string name = part_name(message_dir_name, part);
        std::int64_t size = part == 0 && header_read ? static_cast<std::int64_t>(header_bytes) : folder.file_size(name);
        if (size < 0) break;
        total += static_cast<std::uint64_t>(size);
        if (search_text.empty() || attribute.find('*') != std::string::npos) continue;
        bool found = false;
        if (part == 0) {
            found = header_read && text_contains_in_pieces(header.text(), search_text);
        } else {
            std::string bytes;
            found = folder.read_small_file(name, bytes) &&
                    text_contains_in_pieces(text_mode_text(bytes), search_text);
        }
        if (found) attribute.push_back('*');
    }
    // A message whose only text is HTML (filed with the attachment flag) is
    // searched in the text a reader sees of it too.
    if (!search_text.empty() && attribute.find('*') == std::string::npos && attribute.size() > 1 && attribute[1] == '@') {
        readable_text readable = message_readable_text(std::string(folder_path) + std::string(message_dir_name) + "/");
        if (readable.html && text_contains_in_pieces(utf8_to_sjis_copy(readable.utf8), search_text)) attribute.push_back('*');
    }
    row.text[column_size] = std::to_string(total);
    row.text[column_number] = row_number_text(message_dir_name);
    row.number = message_number_of(message_dir_name).value_or(-1);
    row.size = total;
    set_attribute_fields(row);
    return row;
}

// Runs `read_one` for every index below `count`, on a few threads when the
// folder is large: reading message directories is mostly waiting for the
// system, which several threads do side by side. Each index is read once,
// by one thread; rows land in their own places, so the order is kept.
template <typename ReadOne>
void read_message_rows(std::size_t count, ReadOne read_one) {
    const std::size_t wanted = count / messages_per_reader + 1;
    const std::size_t readers =
        std::min({wanted, static_cast<std::size_t>(std::max(1u, std::thread::hardware_concurrency())), max_list_readers});
    std::atomic<std::size_t> next{0};
    auto work = [&] {
        for (std::size_t start; (start = next.fetch_add(reading_batch)) < count;) {
            for (std::size_t i = start; i < std::min(count, start + reading_batch); ++i) read_one(i);
        }
    };
    std::vector<std::thread> helpers;
    for (std::size_t i = 1; i < readers; ++i) {
        try {
            helpers.emplace_back(work);
        } catch (const std::system_error&) {
            break;  // without another thread the work is done here
        }
    }
    work();
    for (std::thread& helper : helpers) helper.join();
}

// ---- sorting ----

// _stricmp: bytes compared unsigned after folding A-Z to a-z.
inline unsigned char folded(char c) {
    auto u = static_cast<unsigned char>(c);
    return u >= 'A' && u <= 'Z' ? static_cast<unsigned char>(u + ('a' - 'A')) : u;
}

int compare_folded(std::string_view a, std::string_view b) {
    std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i) {
        unsigned char x = folded(a[i]), y = folded(b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

// A right-aligned column compares as shown: the shorter text padded on the
// left with blanks, so that sizes compare as numbers.
int compare_padded(std::string_view a, std::string_view b) {
    if (a.size() == b.size()) return compare_folded(a, b);
    std::size_t length = std::max(a.size(), b.size());
    std::size_t pad_a = length - a.size(), pad_b = length - b.size();
    for (std::size_t i = 0; i < length; ++i) {
        unsigned char x = i < pad_a ? ' ' : folded(a[i - pad_a]);
        unsigned char y = i < pad_b ? ' ' : folded(b[i - pad_b]);
        if (x != y) return x < y ? -1 : 1;
    }
    return 0;
}

using alignment_table = std::array<bool, row_text_count>;

const alignment_table& column_alignment() {
    static const alignment_table table = [] {
        alignment_table right{};
        for (int column = 0; column < visible_column_count; ++column) right[column] = is_right_aligned_column(column);
        return right;
    }();
    return table;
}

int compare_column(const mail_row& a, const mail_row& b, int column, const alignment_table& right) {
    return right[column] ? compare_padded(a.text[column], b.text[column])
                         : compare_folded(a.text[column], b.text[column]);
}

int compare_rows(const mail_row& a, const mail_row& b, const sort_state& state, const alignment_table& right) {
    bool a_parent = a.is_parent(), b_parent = b.is_parent();
    if (a_parent != b_parent) return a_parent ? -1 : 1;
    bool a_folder = a.is_folder(), b_folder = b.is_folder();
    if (a_folder != b_folder) return a_folder ? -1 : 1;
    const bool sorted = state.column >= 0 && state.column < visible_column_count;
    if (sorted) {
        int result = compare_column(a, b, state.column, right);
        if (result != 0) return state.descending ? -result : result;
    }
    for (int column = 0; column < row_text_count; ++column) {
        if (sorted && column == state.column) continue;
        int result = compare_column(a, b, column, right);
        if (result != 0) return result;
    }
    return 0;
}

// What the sort moves: a row's index, its place among ".." (0), folders (1)
// and messages (2), and the first sixteen bytes of its sort text, folded as
// the comparison folds them and filled with zero bytes, as two numbers.
// Two different keys order their rows as the whole comparison would.
struct sort_item {
    std::uint64_t key_high = 0;
    std::uint64_t key_low = 0;
    std::uint32_t index = 0;
    std::uint8_t rank = 0;

    bool same_key(const sort_item& other) const { return key_high == other.key_high && key_low == other.key_low; }
    bool key_before(const sort_item& other) const {
        return key_high != other.key_high ? key_high < other.key_high : key_low < other.key_low;
    }
};

// Eight bytes of the key of a text, from byte `from`; with a width, the
// text as padded with blanks on the left to that width.
std::uint64_t text_key(std::string_view text, std::size_t width, std::size_t from) {
    constexpr std::size_t key_bytes = sizeof(std::uint64_t);
    std::size_t padding = width > text.size() ? width - text.size() : 0;
    std::uint64_t key = 0;
    for (std::size_t i = from; i < from + key_bytes; ++i) {
        unsigned char byte = i < padding ? ' ' : i - padding < text.size() ? folded(text[i - padding]) : 0;
        key = key << 8 | byte;
    }
    return key;
}

// The next gap of the comb sort.
std::size_t next_gap(std::size_t gap) {
    gap = gap * 10 / 13;
    if (gap == 0) return 1;
    if (gap == 9 || gap == 10) return 11;
    return gap;
}

// Comb sort: gaps shrink by 10/13, 9 and 10 become 11, and a pass of gap 1
// repeats until nothing moves.
template <typename InOrder>
void comb_sort(std::vector<sort_item>& items, InOrder in_order) {
    std::size_t gap = items.size();
    bool swapped = false;
    while (gap >= 2 || swapped) {
        gap = next_gap(gap);
        swapped = false;
        for (std::size_t i = 0; i + gap < items.size(); ++i) {
            if (!in_order(items[i], items[i + gap])) {
                std::swap(items[i], items[i + gap]);
                swapped = true;
            }
        }
    }
}

}  // namespace

const std::vector<std::string>& mail_column_titles() {
    static const std::vector<std::string> titles = [] {
        std::vector<std::string> list;
        for (int column = 0; column < visible_column_count; ++column) {
            const std::string& title = load_string(str::list_column_attribute + column);
            if (title == column_titles_end) break;
            list.push_back(title);
        }
        return list;
    }();
    return titles;
}

bool is_right_aligned_column(int column) {
    const std::vector<std::string>& titles = mail_column_titles();
    return column >= 0 && static_cast<std::size_t>(column) < titles.size() && !titles[column].empty() &&
           titles[column].front() == ' ';
}

mail_row folder_row(std::string_view name) {
    mail_row row;
    row.text[column_subject] = name;
    row.text[column_size] = folder_size_text;
    row.folder = true;
    row.parent = name == parent_row_name;
    return row;
}

std::vector<mail_row> build_mail_list(std::string_view folder, std::string_view account_root,
                                      std::string_view search_text, const std::atomic<bool>* cancelled) {
    const std::string shown = with_final_slash(folder);
    std::vector<mail_row> rows;
    // File names are case-sensitive here: a folder whose path differs from
    // the account directory only in case is another directory.
    if (shown != with_final_slash(account_root)) rows.push_back(folder_row(parent_row_name));

    open_directory directory(shown);
    std::optional<std::vector<std::string>> names = directory.subdirectory_names();
    if (!names) return rows;
    // A linked directory is not part of the tree (it could lead back up):
    // the listing leaves links out.
    std::vector<std::pair<std::size_t, std::string_view>> messages;
    rows.reserve(rows.size() + names->size());
    for (const std::string& name : *names) {
        if (message_number_of(name)) {
            messages.emplace_back(rows.size(), name);
            rows.emplace_back();
        } else if (is_listed_folder_name(name)) {
            rows.push_back(folder_row(name));
        }
    }
    const std::vector<std::pair<std::string, std::string>> address_book = read_address_book();
    std::vector<std::pair<std::size_t, thread_facts>> facts(messages.size());
    read_message_rows(messages.size(), [&](std::size_t i) {
        if (cancelled && cancelled->load(std::memory_order_relaxed)) return;
        facts[i].first = messages[i].first;
        rows[messages[i].first] =
            message_row_in(directory, shown, messages[i].second, search_text, &facts[i].second, address_book);
    });
    join_threads(rows, facts);
    return rows;
}

void sort_mail_list(std::vector<mail_row>& rows, const sort_state& state) {
    const alignment_table& right = column_alignment();
    const bool sorted = state.column >= 0 && state.column < visible_column_count;
    // Blanks in front of every text of a right-aligned column, up to the
    // longest, order the texts as padding each pair does.
    std::size_t width = 0;
    if (sorted && right[state.column]) {
        for (const mail_row& row : rows) width = std::max(width, row.text[state.column].size());
    }
    // The sort moves small items that carry the start of the sort column's
    // text, so that most comparisons stay within them; only items whose
    // starts are equal look at the rows. The rows move once at the end.
    std::vector<sort_item> items(rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const mail_row& row = rows[i];
        items[i].index = static_cast<std::uint32_t>(i);
        items[i].rank = row.is_parent() ? 0 : row.is_folder() ? 1 : 2;
        if (!sorted) continue;
        items[i].key_high = text_key(row.text[state.column], width, 0);
        items[i].key_low = text_key(row.text[state.column], width, sizeof(std::uint64_t));
    }
    auto order = [&](const sort_item& a, const sort_item& b) {
        if (a.rank != b.rank) return a.rank < b.rank ? -1 : 1;
        if (!a.same_key(b)) return a.key_before(b) != state.descending ? -1 : 1;
        return compare_rows(rows[a.index], rows[b.index], state, right);
    };
    // Only rows that compare equal can end in different places under
    // different sorts, and messages never do (their numbers differ); so a
    // quick sort gives the comb sort's list unless two rows tie (folders
    // whose names differ only in case), and then the comb sort decides.
    const std::vector<sort_item> unsorted = items;
    std::sort(items.begin(), items.end(), [&](const sort_item& a, const sort_item& b) { return order(a, b) < 0; });
    auto tie = [&](const sort_item& a, const sort_item& b) { return order(a, b) == 0; };
    if (std::adjacent_find(items.begin(), items.end(), tie) != items.end()) {
        items = unsorted;
        comb_sort(items, [&](const sort_item& a, const sort_item& b) { return order(a, b) <= 0; });
    }
    std::vector<mail_row> result;
    result.reserve(rows.size());
    for (const sort_item& item : items) result.push_back(std::move(rows[item.index]));
    rows = std::move(result);
}

void choose_sort_column(sort_state& state, int column) {
    if (column < 0 || column >= visible_column_count) return;
    if (column == state.column) {
        state.descending = !state.descending;
    } else {
        state.column = column;
        state.descending = false;
    }
}

std::string list_status_text(int count, bool selected) {
    std::string word = load_string(selected ? str::list_selected : str::list_present);
    if (word.size() < status_word_width) word.append(status_word_width - word.size(), ' ');
    return string_printf("%10d %s", count, word.c_str());
}

}  // namespace qm
