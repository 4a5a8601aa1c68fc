#pragma once

namespace qm {

// The application's wait cursor while this says so, and never left behind:
// it goes with its owner. One object stands for one override, however often
// it is switched.
class wait_cursor {
public:
    explicit wait_cursor(bool on = true) { set(on); }
    ~wait_cursor() { set(false); }
    wait_cursor(const wait_cursor&) = delete;
    wait_cursor& operator=(const wait_cursor&) = delete;

    void set(bool on);
    bool is_on() const { return on_; }

private:
    bool on_ = false;
};

}  // namespace qm
