#pragma once

#include <QObject>
#include <QThreadPool>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "store/mail_list.h"

namespace qm {

// Reads the rows of a folder (built and sorted as the store lists it) on a
// worker thread, so that the window goes on drawing and answering while a
// large folder is read. Only the latest read counts: starting another one,
// or cancelling, stops the one under way between two messages, and its rows
// never arrive. Rows arrive on the thread that owns the reader.
class folder_reader : public QObject {
    Q_OBJECT
public:
    struct request {
        std::string folder;  // full path ending with "/"
        std::string account_root;
        std::string search;
        sort_state sort;
        // Without the thread column its keys are dropped once sorted.
        bool thread_column = false;
    };
    using arrival = std::function<void(const request& read, std::vector<mail_row> rows)>;

    folder_reader(arrival arrived, QObject* parent = nullptr);
    // A read under way is cancelled and its worker waited for.
    ~folder_reader() override;
    folder_reader(const folder_reader&) = delete;
    folder_reader& operator=(const folder_reader&) = delete;

    void start(request what);
    // True when a read was under way.
    bool cancel();
    // Rows no longer shown are freed in the worker, with what they held
    // given back to the system, rather than on the thread that draws.
    void free_rows(std::shared_ptr<const std::vector<mail_row>> rows);
    bool reading() const { return reading_; }
    // The read under way, or the last one started.
    const request& current() const { return current_; }

    // For tests: called in the worker once a folder is read, before its rows
    // are sent; a test that needs a long read holds it there until done or
    // cancelled.
    using read_hook = std::function<void(const std::atomic<bool>& cancelled)>;
    static void set_after_read(read_hook hook);

private:
    void arrive(std::uint64_t generation, std::vector<mail_row> rows);

    arrival arrived_;
    QThreadPool pool_;
    std::shared_ptr<std::atomic<bool>> cancelled_;
    std::uint64_t generation_ = 0;
    request current_;
    bool reading_ = false;
};

}  // namespace qm
