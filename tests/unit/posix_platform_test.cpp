// The POSIX side of the platform seam where it differs from the others: the
// signals an output holds off while a temporary file comes and goes, an
// identity asked of a stream without a descriptor, the working directory
// once it is gone, the owner a replaced file keeps.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fcntl.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <string>

#include "output/output_file.hpp"
#include "platform/file_identity.hpp"
#include "platform/platform.hpp"
#include "support/files.hpp"
#include "support/scratch_directory.hpp"
#include "test_support.hpp"

namespace fs = std::filesystem;

namespace {

bool blocked(int signal) {
    sigset_t now;
    sigprocmask(SIG_BLOCK, nullptr, &now);
    return sigismember(&now, signal) == 1;
}

// A signal its caller already held stays held when the output lets go.
TEST(PosixPlatform, HoldingLeavesAlreadyHeldSignalsHeld) {
    sigset_t interrupt;
    sigemptyset(&interrupt);
    sigaddset(&interrupt, SIGINT);
    sigprocmask(SIG_BLOCK, &interrupt, nullptr);
    unsigned held = platform::hold_interruptions();
    EXPECT_TRUE(blocked(SIGINT) && blocked(SIGTERM) && blocked(SIGHUP));
    platform::release_interruptions(held);
    EXPECT_TRUE(blocked(SIGINT));
    EXPECT_FALSE(blocked(SIGTERM) || blocked(SIGHUP));
    sigprocmask(SIG_UNBLOCK, &interrupt, nullptr);
}

void ignore_signal(int) {}

// A signal the caller ignores (nohup) is not turned into an interruption.
TEST(PosixPlatform, AnIgnoredSignalStaysIgnored) {
    struct sigaction hangup_before = {}, terminate_before = {};
    std::signal(SIGHUP, SIG_IGN);
    sigaction(SIGHUP, nullptr, &hangup_before);
    sigaction(SIGTERM, nullptr, &terminate_before);
    platform::on_interruption(&ignore_signal);
    struct sigaction hangup = {}, terminate = {};
    sigaction(SIGHUP, nullptr, &hangup);
    sigaction(SIGTERM, nullptr, &terminate);
    EXPECT_EQ(hangup.sa_handler, SIG_IGN);
    EXPECT_EQ(terminate.sa_handler, &ignore_signal);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) std::signal(signal, SIG_DFL);
}

TEST(PosixPlatform, AStreamWithoutADescriptorHasNoIdentity) {
    char text[] = "#12";
    std::FILE* stream = fmemopen(text, 3, "r");
    ASSERT_NE(stream, nullptr);
    FileIdentity identity;
    EXPECT_FALSE(identify_stream(stream, identity));
    std::fclose(stream);
}

TEST(PosixPlatform, AWorkingDirectoryRemovedIsNoDirectory) {
    fs::path before = fs::current_path();
    {
        ScratchDirectory scratch{"orvasm-posix"};
        fs::path gone = scratch.path() / "gone";
        fs::create_directory(gone);
        fs::current_path(gone);
        fs::remove(gone);
        EXPECT_EQ(platform::working_directory(), "");
        fs::current_path(before);
    }
    EXPECT_EQ(platform::working_directory(), before.string());
}

// Run by a privileged user, a replaced file keeps its owner, its group
// and its bits, whichever of the two differs from the user's own.
TEST(PosixPlatform, AReplacedFileKeepsItsOwner) {
    if (geteuid() != 0) GTEST_SKIP() << "only a privileged user gives a file away";
    const uid_t owners[][2] = {{65534, 65534}, {0, 65534}, {65534, 0}};
    for (const auto& owner : owners) {
        ScratchDirectory scratch{"orvasm-posix"};
        fs::path rom = scratch.path() / "out.rom";
        write_file(rom, "old");
        ASSERT_EQ(chown(rom.c_str(), owner[0], owner[1]), 0);
        ASSERT_EQ(chmod(rom.c_str(), 0640), 0);
        OutputFile output;
        ASSERT_TRUE(open_output(output, rom.c_str()));
        std::fputs("new", output.stream);
        ASSERT_TRUE(commit_output(output));
        struct stat status;
        ASSERT_EQ(stat(rom.c_str(), &status), 0);
        EXPECT_EQ(status.st_uid, owner[0]);
        EXPECT_EQ(status.st_gid, owner[1]);
        EXPECT_EQ(status.st_mode & 07777, 0640u);
        EXPECT_EQ(read_file(rom), "new");
    }
}

// The calls that replace a file, failing as a file system makes them fail:
// each reports it, and an old file it could not open stays as it was.
TEST(PosixPlatform, CopyingOverFailsAtEachStep) {
    ScratchDirectory scratch{"orvasm-posix"};
    fs::path from = scratch.path() / "from", to = scratch.path() / "to";
    write_file(from, std::string(5000, 'x')); // more than one block
    write_file(to, "old");
    EXPECT_FALSE(platform::copy_over((scratch.path() / "missing").c_str(), to.c_str()));
    EXPECT_EQ(read_file(to), "old");
    EXPECT_FALSE(platform::copy_over(from.c_str(), (scratch.path() / "missing").c_str()));
    EXPECT_FALSE(fs::exists(scratch.path() / "missing"));
    EXPECT_FALSE(platform::copy_over(from.c_str(), "/dev/full"));          // a write fails
    EXPECT_FALSE(platform::copy_over(scratch.path().c_str(), to.c_str())); // a read fails
    EXPECT_TRUE(platform::copy_over(from.c_str(), to.c_str()));
    EXPECT_EQ(read_file(to), std::string(5000, 'x'));
}

// A program that runs may not be written, even by a privileged user: its
// file is never replaced behind its back.
TEST(PosixPlatform, ARunningProgramMayNotBeWritten) {
    std::string program = platform::follow_links("/proc/self/exe");
    if (program == "/proc/self/exe") GTEST_SKIP() << "no /proc";
    if (!running_program_is_held(program.c_str()))
        GTEST_SKIP() << "the system does not hold a running program's file";
    errno = 0;
    EXPECT_FALSE(platform::may_write(program.c_str()));
    EXPECT_EQ(errno, ETXTBSY);
    ScratchDirectory scratch{"orvasm-posix"};
    write_file(scratch.path() / "file", "old");
    EXPECT_TRUE(platform::may_write((scratch.path() / "file").c_str()));
}

// Descriptors that name nothing: no size, no identity.
TEST(PosixPlatform, AClosedDescriptorHasNoSizeAndNoIdentity) {
    ScratchDirectory scratch{"orvasm-posix"};
    write_file(scratch.path() / "file", "12345");
    int descriptor = platform::open_for_reading((scratch.path() / "file").c_str(), false);
    ASSERT_GE(descriptor, 0);
    std::uint64_t size = 0;
    EXPECT_TRUE(platform::regular_file_size(descriptor, size));
    EXPECT_EQ(size, 5u);
    std::FILE* stream = fdopen(descriptor, "r");
    ASSERT_NE(stream, nullptr);
    FileIdentity identity;
    EXPECT_TRUE(identify_stream(stream, identity));
    platform::close_descriptor(descriptor); // the stream's descriptor, closed under it
    size = 7;
    EXPECT_FALSE(platform::regular_file_size(descriptor, size));
    EXPECT_EQ(size, 7u);
    EXPECT_FALSE(identify_stream(stream, identity));
    std::fclose(stream);
}

} // namespace
