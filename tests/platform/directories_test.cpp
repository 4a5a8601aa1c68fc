#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include "platform/directories.h"
#include "platform/program_context.h"
#include "platform/unique_file.h"
#include "support/test_support.h"

namespace qm {
namespace {

using test::exists;
using test::scoped_env;
using test::temp_dir;

// Clears every variable that chooses the temporary directory.
struct clean_temporary_environment {
    scoped_env ram{"TMP_RAM", nullptr}, tmp{"TMP", nullptr}, temp{"TEMP", nullptr}, tmpdir{"TMPDIR", nullptr};
};

TEST(Directories, TemporaryDirectoryFollowsTheEnvironment) {
    temp_dir dir;
    ::chmod(dir.path().c_str(), 0700);
    {
        clean_temporary_environment clean;
        scoped_env tmp("TMP", (dir.path() + "tmp").c_str());
        ::mkdir((dir / "tmp").c_str(), 0700);
        EXPECT_EQ(find_temporary_directory(), dir.cp("tmp/"));
        scoped_env ram("TMP_RAM", dir.path().c_str());
        EXPECT_EQ(find_temporary_directory(), dir.cp());
    }
    {
        // Backslashes become slashes; the case is kept.
        clean_temporary_environment clean;
        ::mkdir((dir / "Mixed").c_str(), 0700);
        std::string windows_style = dir.path() + "Mixed\\";
        scoped_env temp("TEMP", windows_style.c_str());
        EXPECT_EQ(find_temporary_directory(), dir.cp("Mixed/"));
    }
}

TEST(Directories, SharedTemporaryDirectoryGetsAPrivateSubdirectory) {
    temp_dir dir;
    ::chmod(dir.path().c_str(), 01777);
    clean_temporary_environment clean;
    scoped_env tmp("TMP", dir.path().c_str());
    std::string expected = dir.cp("quillmere-" + std::to_string(::getuid()) + "/");
    EXPECT_EQ(find_temporary_directory(), expected);
    struct stat status;
    ASSERT_EQ(::lstat((dir / ("quillmere-" + std::to_string(::getuid()))).c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0700u);
    EXPECT_EQ(work_directory_in(expected), expected + "quillmere.$$$/");

    // Loose permissions on our own directory are tightened.
    ::chmod((dir / ("quillmere-" + std::to_string(::getuid()))).c_str(), 0777);
    EXPECT_EQ(find_temporary_directory(), expected);
    ::lstat((dir / ("quillmere-" + std::to_string(::getuid()))).c_str(), &status);
    EXPECT_EQ(status.st_mode & 07777, 0700u);
}

TEST(Directories, PrivateDirectoryRefusesSymlinksAndStrangers) {
    temp_dir dir;
    std::string name = "quillmere-" + std::to_string(::getuid());
    ::mkdir((dir / "elsewhere").c_str(), 0700);
    ASSERT_EQ(::symlink((dir / "elsewhere").c_str(), (dir / name).c_str()), 0);
    EXPECT_EQ(private_subdirectory(dir.cp()), std::nullopt);

    ::unlink((dir / name).c_str());
    ::mkdir((dir / name).c_str(), 0700);
    if (::getuid() == 0) {
        ASSERT_EQ(::chown((dir / name).c_str(), 65534, 65534), 0);
        EXPECT_EQ(private_subdirectory(dir.cp()), std::nullopt);
    } else {
        // Only root can give a directory away; the file-type check still runs.
        ::rmdir((dir / name).c_str());
        test::write_bytes(dir / name, "not a directory");
        EXPECT_EQ(private_subdirectory(dir.cp()), std::nullopt);
    }
}

TEST(Directories, DataDirectoryFromQuillmereHome) {
    temp_dir dir;
    scoped_env home("QUILLMERE_HOME", (dir.path() + "データ").c_str());
    EXPECT_EQ(find_data_directory(), dir.cp("データ/"));
    EXPECT_TRUE(exists(dir / "データ"));
}

TEST(UniqueFile, FillsTheRunOfDollarsWithTheLowestFreeNumber) {
    temp_dir dir;
    test::write_bytes(dir / "qlm_0000.TXT", "");
    test::write_bytes(dir / "qlm_0001.TXT", "");
    auto made = create_unique_file(dir.cp(), "qlm_$$$$.TXT");
    ASSERT_TRUE(made.has_value());
    EXPECT_EQ(*made, dir.cp("qlm_0002.TXT"));
    struct stat status;
    ASSERT_EQ(::stat((dir / "qlm_0002.TXT").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u);
    EXPECT_EQ(status.st_size, 0);

    // A run of one "$" has ten names.
    for (int i = 0; i < 10; ++i) EXPECT_EQ(create_unique_file(dir.cp(), "L_$.TMP"), dir.cp("L_" + std::to_string(i) + ".TMP"));
    EXPECT_EQ(create_unique_file(dir.cp(), "L_$.TMP"), std::nullopt);
    EXPECT_EQ(create_unique_file(dir.cp(), "plain.TMP"), std::nullopt);
    EXPECT_EQ(create_unique_file(dir.cp("missing/"), "a$$.TMP"), std::nullopt);
}

TEST(ProgramContext, TemporaryFilesGoToTheContextDirectory) {
    temp_dir dir;
    program_context saved = context();
    set_context({dir.cp("data/"), dir.cp(), work_directory_in(dir.cp()), dir.cp()});
    EXPECT_EQ(unique_temporary_file("LIB_$$$$.TMP"), dir.cp("LIB_0000.TMP"));
    EXPECT_EQ(context().work_directory, dir.cp("quillmere.$$$/"));
    set_context(saved);
}

}  // namespace
}  // namespace qm
