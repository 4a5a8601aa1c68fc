#pragma once

namespace qm {

// The program from start to end: one copy only (a second start raises the
// first window and ends with 0), the work directory, the settings and
// layout with their defaults, the mailbox with its first account, the
// window and its event loop, and the clean-up at the end. The exit code.
int application_main(int argc, char** argv);

}  // namespace qm
