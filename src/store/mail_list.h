#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qm {

// The mail list of one folder: a row per sub-folder and per message, built
// afresh from the directories at every rebuild (nothing is cached), sorted
// by one of the six visible columns with fixed tie-breaks.

// The texts of a row. The first six are the visible columns; the seventh,
// hidden, is the message number that finds the message directory.
enum mail_column : int {
    column_attribute = 0,  // type, "@", "R", "F", and "*" for a search match
    column_date = 1,       // "%02d.%2d.%2d %2d:%02d" in local time
    column_party = 2,      // sender, or the first recipient of composed mail: the address book's
                           // name for the address, else the mail's display name, else the address
    column_subject = 3,    // subject, or the folder's name
    column_size = 4,       // bytes of the numbered files, or "<dir>"
    column_thread = 5,     // thread key: the one the messages of a conversation share
    column_number = 6,     // hidden
};
inline constexpr int visible_column_count = 6;
inline constexpr int row_text_count = 7;

inline constexpr std::string_view parent_row_name = "..";
inline constexpr std::string_view folder_size_text = "<dir>";
inline constexpr std::string_view unknown_party = "???";
// Subjects, thread keys and addresses are read into 128 bytes.
inline constexpr std::size_t subject_capacity = 128;
inline constexpr std::size_t thread_key_capacity = 128;
inline constexpr std::size_t party_capacity = 128;
// Each word of the status text is padded with blanks to this many bytes.
inline constexpr std::size_t status_word_width = 8;

// One row: the texts the list shows, and what they say as values, so that a
// view never has to take a text apart.
struct mail_row {
    std::string text[row_text_count];

    bool folder = false;  // a sub-folder, or ".." (its texts: the name and "<dir>")
    bool parent = false;  // the ".." row that leads to the parent folder
    int number = -1;      // a message's number (".12" gives 12); -1 for folders
    char type = ' ';      // new "!", draft "D", sent "S", else blank
    bool attachment = false, replied = false, forwarded = false;
    bool search_match = false;  // a numbered file holds the search text ("*")
    std::uint64_t size = 0;     // bytes of the numbered files
    // What the subject and party columns show where their CP932 texts lost
    // characters ("？") that the message as it came gives back (UTF-8);
    // empty where the CP932 text is what is shown.
    std::string subject_as_sent, party_as_sent;

    bool is_folder() const { return folder; }
    bool is_parent() const { return parent; }
};

struct sort_state {
    int column = column_date;
    bool descending = false;
};

// The column titles of the string table, in column order. A leading blank
// makes a column right-aligned; trailing blanks only widen it.
const std::vector<std::string>& mail_column_titles();
bool is_right_aligned_column(int column);

// The rows of the folder shown (full path ending with "/"), unsorted: ".."
// first unless the folder is the account directory itself, then the
// sub-folders and messages in listing order. A folder that cannot be listed
// gives only the ".." row. Each message's files are read once; the address
// book too, once per call. The messages of one conversation get one thread
// key: joined by the ids their References, In-Reply-To and Message-ID name,
// and where a message answers nothing, by its subject without "Re:" and
// "Fwd:"; the key is the one most of them have by the rule of a single row
// (the first id of References, In-Reply-To or Message-ID). Once `cancelled`
// is set, no further message is read and the rows returned are incomplete:
// the caller drops them.
std::vector<mail_row> build_mail_list(std::string_view folder, std::string_view account_root,
                                      std::string_view search_text, const std::atomic<bool>* cancelled = nullptr);

// The row of a sub-folder (or ".." for the parent).
mail_row folder_row(std::string_view name);

// Sorts in place with a comb sort (gaps shrink by 10/13, 9 and 10 become
// 11), so that rows that compare equal keep the places it gives them.
void sort_mail_list(std::vector<mail_row>& rows, const sort_state& state);

// Choosing the sort column: the current one flips the direction, another
// one becomes the sort column in ascending order. Columns outside 0 to 5
// change nothing.
void choose_sort_column(sort_state& state, int column);

// "%10d %s": the count with "選択" when rows are selected, else with "存在",
// the word padded with blanks to eight bytes.
std::string list_status_text(int count, bool selected);


}  // namespace qm
