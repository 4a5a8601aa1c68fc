#include "app/folder_reader.h"

#include <malloc.h>

namespace qm {

namespace {

bool stopped(const std::atomic<bool>& cancelled) { return cancelled.load(std::memory_order_relaxed); }

folder_reader::read_hook& after_read() {
    static folder_reader::read_hook hook;
    return hook;
}

std::string* texts_of(mail_row& row, int index) {
    return index < row_text_count ? &row.text[index] : index == row_text_count ? &row.subject_as_sent : &row.party_as_sent;
}
constexpr int texts_per_row = row_text_count + 2;
// Below this many rows what a folder leaves behind is not worth the time
// of giving it back.
constexpr std::size_t large_folder_rows = 30000;

// The rows' texts are made again one after the other once everything the
// reading set aside is freed. As read, they lie scattered among the pieces
// the reading freed, and those pages stay with the program: a listed folder
// of 100,000 messages kept about twenty megabytes more than its rows. Texts
// short enough to live inside their string own no memory and stay.
void lay_out_texts_afresh(std::vector<mail_row>& rows) {
    const std::size_t inside = std::string().capacity();
    std::size_t bytes = 0, count = 0;
    for (mail_row& row : rows) {
        for (int index = 0; index < texts_per_row; ++index) {
            const std::size_t size = texts_of(row, index)->size();
            if (size > inside) bytes += size, ++count;
        }
    }
    std::string texts;
    texts.reserve(bytes);
    struct moved_text {
        std::uint32_t slot, end;  // row * texts_per_row + index; where it ends in `texts`
    };
    std::vector<moved_text> moved;
    moved.reserve(count);
    for (std::size_t slot = 0; slot < rows.size() * texts_per_row; ++slot) {
        std::string* text = texts_of(rows[slot / texts_per_row], static_cast<int>(slot % texts_per_row));
        if (text->size() <= inside) continue;
        texts += *text;
        moved.push_back({static_cast<std::uint32_t>(slot), static_cast<std::uint32_t>(texts.size())});
        std::string().swap(*text);
    }
    ::malloc_trim(0);
    std::size_t start = 0;
    for (const moved_text& text : moved) {
        texts_of(rows[text.slot / texts_per_row], static_cast<int>(text.slot % texts_per_row))
            ->assign(texts, start, text.end - start);
        start = text.end;
    }
    std::string().swap(texts);
    std::vector<moved_text>().swap(moved);
    ::malloc_trim(0);
}

}  // namespace

folder_reader::folder_reader(arrival arrived, QObject* parent) : QObject(parent), arrived_(std::move(arrived)) {
    // One read at a time: a cancelled read gives way within one message.
    pool_.setMaxThreadCount(1);
}

folder_reader::~folder_reader() {
    cancel();
    pool_.waitForDone();
}

void folder_reader::start(request what) {
    cancel();
    cancelled_ = std::make_shared<std::atomic<bool>>(false);
    current_ = std::move(what);
    reading_ = true;
    pool_.start([this, generation = ++generation_, cancelled = cancelled_, what = current_] {
        if (stopped(*cancelled)) return;
        auto rows = std::make_shared<std::vector<mail_row>>(
            build_mail_list(what.folder, what.account_root, what.search, cancelled.get()));
        if (stopped(*cancelled)) return;
        sort_mail_list(*rows, what.sort);
        if (stopped(*cancelled)) return;
        if (!what.thread_column) {
            for (mail_row& row : *rows) std::string().swap(row.text[column_thread]);
        }
        if (rows->size() >= large_folder_rows) lay_out_texts_afresh(*rows);
        if (after_read()) after_read()(*cancelled);
        if (stopped(*cancelled)) return;
        QMetaObject::invokeMethod(
            this, [this, generation, rows] { arrive(generation, std::move(*rows)); }, Qt::QueuedConnection);
    });
}

void folder_reader::set_after_read(read_hook hook) { after_read() = std::move(hook); }

void folder_reader::free_rows(std::shared_ptr<const std::vector<mail_row>> rows) {
    if (!rows || rows->empty()) return;
    pool_.start([rows = std::move(rows)]() mutable {
        const bool large = rows->size() >= large_folder_rows;
        rows.reset();
        if (large) ::malloc_trim(0);
    });
}

bool folder_reader::cancel() {
    if (cancelled_) cancelled_->store(true, std::memory_order_relaxed);
    const bool was_reading = reading_;
    reading_ = false;
    ++generation_;  // rows already on their way are dropped
    return was_reading;
}

void folder_reader::arrive(std::uint64_t generation, std::vector<mail_row> rows) {
    if (generation != generation_ || !reading_) return;
    reading_ = false;
    arrived_(current_, std::move(rows));
}

}  // namespace qm
