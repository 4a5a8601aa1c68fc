#include <gtest/gtest.h>

#include <sys/stat.h>

#include "platform/attributes.h"
#include "support/test_support.h"

namespace qm {
namespace {

using test::temp_dir;

TEST(Attributes, ReadAndSet) {
    temp_dir dir;
    test::write_bytes(dir / "f", "x");
    test::write_bytes(dir / ".hidden", "x");
    std::string attributes;
    EXPECT_TRUE(read_attributes(dir.cp("f"), attributes));
    EXPECT_EQ(attributes, "----");
    EXPECT_TRUE(read_attributes(dir.cp(".hidden"), attributes));
    EXPECT_EQ(attributes, "-h--");

    EXPECT_TRUE(set_attributes(dir.cp("f"), "--r-"));
    EXPECT_TRUE(read_attributes(dir.cp("f"), attributes));
    EXPECT_EQ(attributes, "--r-");
    EXPECT_TRUE(is_read_only(dir.cp("f")));
    struct stat status;
    ::stat((dir / "f").c_str(), &status);
    EXPECT_EQ(status.st_mode & 0222, 0u);

    // "----" gives the owner write permission back; system and archive do
    // not exist and change nothing.
    EXPECT_TRUE(set_attributes(dir.cp("f"), "s--a"));
    EXPECT_TRUE(read_attributes(dir.cp("f"), attributes));
    EXPECT_EQ(attributes, "----");

    EXPECT_FALSE(read_attributes(dir.cp("missing"), attributes));
    EXPECT_EQ(attributes, "????");
    EXPECT_FALSE(set_attributes(dir.cp("missing"), "--r-"));
}

}  // namespace
}  // namespace qm
