// The output step against a file system that fails: each way of failing to
// create the temporary file or to rename it over the target, injected
// through FileCalls, decides between writing in place and failing with the
// old file untouched. The real binary on real file systems (no inodes, a
// mount point, a sticky directory) is in tests/e2e.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fcntl.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>

#include "output/output_file.hpp"
#include "support/files.hpp"
#include "support/scratch_directory.hpp"
#include "test_support.hpp"

namespace fs = std::filesystem;

namespace {

// The errno the injected calls fail with.
int injected_error = 0;

int failing_create(const char*, mode_t) {
    errno = injected_error;
    return -1;
}

int failing_rename(const char*, const char*) {
    errno = injected_error;
    return -1;
}

// A rename refused as at a mount point, after the target went away: the
// copy in place then has nothing to copy over.
int vanishing_rename(const char*, const char* to) {
    std::remove(to);
    errno = EBUSY;
    return -1;
}

const FileCalls FAILING_CREATE = {failing_create, SYSTEM_FILE_CALLS.rename};
const FileCalls VANISHING_RENAME = {SYSTEM_FILE_CALLS.create, vanishing_rename};
const FileCalls FAILING_RENAME = {SYSTEM_FILE_CALLS.create, failing_rename};

class OutputFileTest : public testing::Test {
  protected:
    void SetUp() override {
        target_ = (dir_ / "out.rom").string();
        write_file(target_, "old");
    }

    // Writes "new" to the target through `calls`; whether it was opened
    // and committed, and whether it was written in place.
    struct Outcome {
        bool opened;
        bool committed;
        bool in_place;
        int error; // errno after a failed open
    };
    Outcome write_new(const FileCalls& calls) {
        OutputFile output;
        output.calls = &calls;
        errno = 0;
        Outcome outcome{open_output(output, target_.c_str()), false, false, errno};
        if (!outcome.opened) return outcome;
        outcome.in_place = output.temporary.empty();
        std::fputs("new", output.stream);
        outcome.committed = commit_output(output);
        return outcome;
    }

    int file_count() {
        int count = 0;
        for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir_)) count++;
        return count;
    }

    ScratchDirectory scratch_{"orvasm-output-file"};
    const fs::path dir_ = scratch_.path();
    std::string target_;
};

// No space, no inode, no descriptor, no memory, an I/O error: writing in
// place would fail as well, after it had cut the old file short.
TEST_F(OutputFileTest, ACreationFailureOfResourcesFailsAndKeepsTheOldFile) {
    for (int error : {ENOSPC, EDQUOT, EMFILE, ENFILE, ENOMEM, EIO, ENOENT}) {
        injected_error = error;
        Outcome outcome = write_new(FAILING_CREATE);
        EXPECT_FALSE(outcome.opened) << std::strerror(error);
        EXPECT_EQ(outcome.error, error) << std::strerror(error);
        EXPECT_EQ(read_file(target_), "old") << std::strerror(error);
        EXPECT_EQ(file_count(), 1) << std::strerror(error);
    }
}

// A directory that takes no new file, by permission or for good.
TEST_F(OutputFileTest, ADirectoryThatTakesNoNewFileIsWrittenInPlace) {
    for (int error : {EACCES, EPERM, EROFS, ENAMETOOLONG}) {
        write_file(target_, "old");
        injected_error = error;
        Outcome outcome = write_new(FAILING_CREATE);
        EXPECT_TRUE(outcome.opened && outcome.committed && outcome.in_place)
            << std::strerror(error);
        EXPECT_EQ(read_file(target_), "new") << std::strerror(error);
        EXPECT_EQ(file_count(), 1) << std::strerror(error);
    }
}

// A mount point, or a sticky directory that keeps the name for its owner:
// the whole new file is copied over the old one, which stays where it is.
TEST_F(OutputFileTest, ARefusedRenameIsWrittenInPlace) {
    for (int error : {EBUSY, EPERM}) {
        write_file(target_, "older than the new file");
        struct stat before;
        ASSERT_EQ(stat(target_.c_str(), &before), 0);
        injected_error = error;
        Outcome outcome = write_new(FAILING_RENAME);
        EXPECT_TRUE(outcome.opened && outcome.committed && !outcome.in_place)
            << std::strerror(error);
        EXPECT_EQ(read_file(target_), "new") << std::strerror(error);
        struct stat after;
        ASSERT_EQ(stat(target_.c_str(), &after), 0);
        EXPECT_EQ(after.st_ino, before.st_ino) << std::strerror(error);
        EXPECT_EQ(file_count(), 1) << std::strerror(error);
    }
}

TEST_F(OutputFileTest, AnyOtherRenameFailureKeepsTheOldFile) {
    for (int error : {EXDEV, EIO, ENOSPC, EACCES}) {
        injected_error = error;
        Outcome outcome = write_new(FAILING_RENAME);
        EXPECT_TRUE(outcome.opened) << std::strerror(error);
        EXPECT_FALSE(outcome.committed) << std::strerror(error);
        EXPECT_EQ(read_file(target_), "old") << std::strerror(error);
        EXPECT_EQ(file_count(), 1) << std::strerror(error);
    }
}

// Every name tried is taken (by other runs, or a file system that says so):
// the output fails after a bounded number of tries, nothing written.
TEST_F(OutputFileTest, NamesTakenAtEveryTryFailAndKeepTheOldFile) {
    injected_error = EEXIST;
    Outcome outcome = write_new(FAILING_CREATE);
    EXPECT_FALSE(outcome.opened);
    EXPECT_EQ(outcome.error, EEXIST);
    EXPECT_EQ(read_file(target_), "old");
    EXPECT_EQ(file_count(), 1);
}

TEST_F(OutputFileTest, ACopyInPlaceThatCannotOpenTheTargetFailsAndLeavesNoTemporary) {
    Outcome outcome = write_new(VANISHING_RENAME);
    EXPECT_TRUE(outcome.opened);
    EXPECT_FALSE(outcome.committed);
    EXPECT_EQ(file_count(), 0);
}

// A device is written in place, and a write it refuses fails the commit.
TEST_F(OutputFileTest, DevicesAreWrittenInPlace) {
    OutputFile null;
    ASSERT_TRUE(open_output(null, "/dev/null"));
    EXPECT_TRUE(null.temporary.empty());
    std::fputs("new", null.stream);
    EXPECT_TRUE(commit_output(null));
    OutputFile full;
    if (!open_output(full, "/dev/full")) GTEST_SKIP() << "no /dev/full";
    EXPECT_TRUE(full.temporary.empty());
    std::fputs("new", full.stream);
    EXPECT_FALSE(commit_output(full));
}

// Links that never end in a file: nothing is opened, the links stay.
TEST_F(OutputFileTest, ALoopOfLinksIsNotOpened) {
    fs::create_symlink("b.rom", dir_ / "a.rom");
    fs::create_symlink("a.rom", dir_ / "b.rom");
    OutputFile output;
    EXPECT_FALSE(open_output(output, (dir_ / "a.rom").c_str()));
    EXPECT_EQ(output.stream, nullptr);
    EXPECT_TRUE(fs::is_symlink(dir_ / "a.rom") && fs::is_symlink(dir_ / "b.rom"));
    EXPECT_EQ(file_count(), 3);
}

// More outputs open at once than the handler keeps track of: those it
// tracks are removed, the others are left to their callers.
TEST_F(OutputFileTest, OutputsPastTheTrackedOnesAreLeftToTheirCallers) {
    constexpr int OPEN = 5;
    OutputFile outputs[OPEN];
    for (int i = 0; i < OPEN; i++)
        ASSERT_TRUE(open_output(outputs[i], (dir_ / ("out" + std::to_string(i))).c_str()));
    EXPECT_EQ(file_count(), 1 + OPEN);
    remove_open_temporaries();
    EXPECT_EQ(file_count(), 2);
    EXPECT_TRUE(fs::exists(outputs[OPEN - 1].temporary));
    // The untracked one commits as any other; the slots are free again.
    std::fputs("new", outputs[OPEN - 1].stream);
    EXPECT_TRUE(commit_output(outputs[OPEN - 1]));
    EXPECT_EQ(read_file(dir_ / "out4"), "new");
    for (int i = 0; i < OPEN - 1; i++) abandon_output(outputs[i]);
    EXPECT_EQ(file_count(), 2);
    OutputFile again;
    ASSERT_TRUE(open_output(again, target_.c_str()));
    remove_open_temporaries();
    EXPECT_EQ(file_count(), 2);
    abandon_output(again);
}

// What the handler of interruptions does with an output half written.
TEST_F(OutputFileTest, OpenTemporariesAreRemovedOnRequestAndOnlyThen) {
    OutputFile output;
    ASSERT_TRUE(open_output(output, target_.c_str()));
    ASSERT_FALSE(output.temporary.empty());
    EXPECT_EQ(file_count(), 2);
    remove_open_temporaries();
    EXPECT_EQ(file_count(), 1);
    abandon_output(output);

    // A committed or abandoned output is no longer tracked.
    OutputFile committed;
    ASSERT_TRUE(open_output(committed, target_.c_str()));
    std::fputs("new", committed.stream);
    ASSERT_TRUE(commit_output(committed));
    write_file(dir_ / ".out.rom.orvasm-not-ours", "kept");
    remove_open_temporaries();
    EXPECT_EQ(read_file(target_), "new");
    EXPECT_EQ(file_count(), 2);
}

TEST_F(OutputFileTest, NamesOfOneFileAreKnownBeforeItExists) {
    fs::create_directory(dir_ / "sub");
    fs::create_symlink("later.lst", dir_ / "link.lst");
    auto same = [this](const std::string& a, const std::string& b) {
        return names_same_file((dir_ / a).c_str(), (dir_ / b).c_str());
    };
    EXPECT_TRUE(same("later.lst", "sub/../later.lst"));
    EXPECT_TRUE(same("link.lst", "later.lst")); // a link to a file yet to be written
    EXPECT_TRUE(same("./later.lst", "sub/../link.lst"));
    EXPECT_FALSE(same("later.lst", "sub/later.lst"));
    EXPECT_FALSE(same("later.lst", "out.rom"));
    EXPECT_FALSE(same("missing/a", "missing/a")); // no such directory: nothing is written
    EXPECT_FALSE(same("out.rom", "later.lst"));   // one exists, the other not yet
    EXPECT_FALSE(same("later.lst", "out.rom"));
    // Files yet to be written at the top of the tree, where the system
    // sees "/" and "/tmp/.." as one directory: an emulator that serves "/"
    // from a root of its own does not.
    if (fs::equivalent("/", "/tmp/..")) {
        EXPECT_TRUE(names_same_file("/orvasm-absent.rom", "/tmp/../orvasm-absent.rom"));
        EXPECT_FALSE(names_same_file("/orvasm-absent.rom", "/orvasm-absent.sym"));
    }
    fs::create_hard_link(target_, dir_ / "hard.rom");
    EXPECT_TRUE(same("hard.rom", "out.rom"));
}

// A directory that takes no new file, and a target that cannot be opened in
// place either: the output fails with the reason of the second try.
TEST_F(OutputFileTest, WritingInPlaceThatFailsTooFails) {
    target_ = (dir_ / "missing" / "out.rom").string();
    injected_error = EACCES;
    Outcome outcome = write_new(FAILING_CREATE);
    EXPECT_FALSE(outcome.opened);
    EXPECT_EQ(outcome.error, ENOENT);
    EXPECT_EQ(file_count(), 1);
}

// The new file fails as it is closed (its last bytes do not fit): the old
// file stays as it was and the new one goes.
TEST_F(OutputFileTest, ACloseThatFailsKeepsTheOldFile) {
    OutputFile output;
    ASSERT_TRUE(open_output(output, target_.c_str()));
    int full = open("/dev/full", O_WRONLY);
    if (full < 0) GTEST_SKIP() << "no /dev/full";
    ASSERT_GE(dup2(full, fileno(output.stream)), 0);
    close(full);
    std::fputs("new", output.stream);
    EXPECT_FALSE(commit_output(output));
    EXPECT_EQ(read_file(target_), "old");
    EXPECT_EQ(file_count(), 1);
}

// A file that may not be written (a program that runs) is not replaced.
TEST_F(OutputFileTest, AFileThatMayNotBeWrittenIsNotReplaced) {
    std::string program = fs::read_symlink("/proc/self/exe").string();
    if (!running_program_is_held(program.c_str()))
        GTEST_SKIP() << "the system does not hold a running program's file";
    OutputFile output;
    errno = 0;
    EXPECT_FALSE(open_output(output, "/proc/self/exe"));
    EXPECT_EQ(errno, ETXTBSY);
    EXPECT_EQ(output.stream, nullptr);
    EXPECT_TRUE(output.temporary.empty());
    EXPECT_EQ(file_count(), 1);
    EXPECT_TRUE(fs::exists(program));
}

// Links that never end name no file, existing or to be written.
TEST_F(OutputFileTest, ALoopOfLinksNamesNoFile) {
    fs::create_symlink("b.rom", dir_ / "a.rom");
    fs::create_symlink("a.rom", dir_ / "b.rom");
    auto same = [this](const std::string& a, const std::string& b) {
        return names_same_file((dir_ / a).c_str(), (dir_ / b).c_str());
    };
    EXPECT_FALSE(same("a.rom", "a.rom"));
    EXPECT_FALSE(same("later.lst", "a.rom"));
    EXPECT_TRUE(same("later.lst", "later.lst"));
}

} // namespace
