#pragma once

#include <string_view>

namespace qm {

// Test hook for the fault-injection tests: with QUILLMERE_KILL_AT set to
// "<step>" or "<step>:<n>", the process stops itself with SIGKILL the n-th
// time (the first when n is not given) it reaches the named step, as a crash
// or a power cut would stop it: no destructor, no exit handler runs. Without
// the variable a kill point does nothing. The steps are named where they are
// marked (a receive: "listed", "retr", "downloaded" (after the id's note line),
// "quit", "quit-sent", "quit-answered"; filing: "unfolded", "staged", "filed";
// filing while the download goes on: "receive-filing").
void kill_point(std::string_view step);

}  // namespace qm
