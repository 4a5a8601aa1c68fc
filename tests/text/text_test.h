#pragma once
// Helpers shared by the text tests.

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "support/test_support.h"

namespace qm::test {

inline const std::string q = "\x81\x48";  // the full-width question mark, CP932's replacement

// The result of an in-place conversion applied to a copy of `text`.
template <typename Convert, typename... Args>
std::string applied(Convert convert, std::string text, Args... args) {
    convert(text, args...);
    return text;
}

}  // namespace qm::test
