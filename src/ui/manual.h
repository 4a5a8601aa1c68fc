#pragma once

#include "platform/reporter.h"

namespace qm {

// Opens the manual "quillmere.htm" with the desktop's program for HTML
// (xdg-open). A manual that is not where the program keeps it is reported
// with the places looked at; a program that cannot be started with
// "システムエラーが発生しました.". True when the program was started.
bool open_manual(reporter& report);

}  // namespace qm
