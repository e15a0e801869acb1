// What the real binary does to files already on disk: an old rom or symbol
// file survives every failure and every interruption, whole, and no output is
// ever written over a file the assembly read. The cases in tests/cases pin
// the messages; these tests need what a case cannot express: links,
// permission bits, resource limits, a terminal, a second process.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/personality.h>
#include <sys/ptrace.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/user.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "support/files.hpp"
#include "support/scratch_directory.hpp"

namespace fs = std::filesystem;

namespace {

class Outputs : public testing::Test {
  protected:
    void write(const std::string& name, const std::string& bytes) {
        write_file(dir_ / name, bytes);
    }

    // Starts `orvasm SOURCE ROM` in the test's directory, standard error into
    // the file "stderr"; `prepare` runs in the child just before the program.
    pid_t start(
        const std::string& source, const std::string& rom,
        const std::function<void()>& prepare = [] {}) {
        pid_t child = fork();
        if (child == 0) {
            int err = open((dir_ / "stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
            if (chdir(dir_.c_str()) != 0 || err < 0) _exit(126);
            dup2(err, 2);
            prepare();
            std::vector<const char*> argv = {"orvasm", source.c_str(), rom.c_str()};
            for (const std::string& option : options_) argv.push_back(option.c_str());
            argv.push_back(nullptr);
            execv(binary_.c_str(), const_cast<char* const*>(argv.data()));
            _exit(127);
        }
        return child;
    }

    // The exit status of a started run, or -1 when it did not exit.
    static int finish(pid_t child) {
        int status = 0;
        waitpid(child, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    int run(
        const std::string& source, const std::string& rom,
        const std::function<void()>& prepare = [] {}) {
        return finish(start(source, rom, prepare));
    }

    std::string err() { return read_file(dir_ / "stderr"); }

    // Runs with standard error on a terminal and returns what the terminal
    // showed, without the carriage returns it adds; -1 exits fail the test.
    std::string run_on_terminal(const std::string& source, const std::string& rom) {
        int terminal = posix_openpt(O_RDWR | O_NOCTTY);
        EXPECT_GE(terminal, 0);
        EXPECT_EQ(grantpt(terminal), 0);
        EXPECT_EQ(unlockpt(terminal), 0);
        std::string name = ptsname(terminal);
        pid_t child = start(source, rom, [&name] {
            int side = open(name.c_str(), O_RDWR);
            if (side < 0) _exit(125);
            dup2(side, 2);
        });
        std::string text;
        char buffer[256];
        // The terminal side reads until the program has exited and closed it.
        for (ssize_t n; (n = read(terminal, buffer, sizeof buffer)) > 0;) text.append(buffer, n);
        close(terminal);
        EXPECT_GE(finish(child), 0);
        std::erase(text, '\r');
        return text;
    }

    // The program the runs start: the one built, or a copy.
    std::string binary_ = ORVASM_BINARY;
    // Options the runs are given after the source and the rom.
    std::vector<std::string> options_;

    // Makes the runs start a copy of the program in the test's directory,
    // which a user other than root can run whatever the build tree lets it
    // see, and makes the directory and `files` in it that user's to read.
    void run_as_anyone(const std::vector<std::string>& files) {
        binary_ = (dir_ / "orvasm").string();
        fs::copy_file(ORVASM_BINARY, binary_);
        fs::permissions(binary_, fs::perms(0755));
        fs::permissions(dir_, fs::perms(0755));
        for (const std::string& name : files) fs::permissions(dir_ / name, fs::perms(0644));
    }
    // Run as `prepare`: becomes the user nobody, when root.
    static void become_nobody() {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(125);
    }

    // The files of the directory, but for the captured standard error.
    int file_count() {
        int count = 0;
        for (const auto& entry : fs::directory_iterator(dir_))
            count += entry.path().filename() != "stderr";
        return count;
    }

#if defined(__x86_64__)
    // Starts a run into out.rom and holds it, traced, where it is about to
    // write the rom's bytes: its first write to a file other than standard
    // error. Returns -1 when the program cannot be traced here.
    pid_t start_held_at_rom_write(const std::string& source) {
        pid_t child = start(source, "out.rom", [] {
            if (ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) != 0) _exit(125);
        });
        int status = 0;
        waitpid(child, &status, 0); // stopped as the program starts
        if (!WIFSTOPPED(status)) return -1;
        ptrace(PTRACE_SETOPTIONS, child, nullptr, PTRACE_O_EXITKILL);
        for (bool entering = true;; entering = !entering) {
            if (ptrace(PTRACE_SYSCALL, child, nullptr, nullptr) != 0) return -1;
            waitpid(child, &status, 0);
            if (!WIFSTOPPED(status)) return -1;
            user_regs_struct registers;
            ptrace(PTRACE_GETREGS, child, nullptr, &registers);
            if (entering && registers.orig_rax == SYS_write && registers.rdi > 2) return child;
        }
    }
#endif

    ScratchDirectory scratch_{"orvasm-outputs"};
    const fs::path dir_ = scratch_.path();
};

// Two programs and their roms, the second longer than the first.
const std::string SHORT_SOURCE = "01 02 03";
const std::string SHORT_ROM = "\x01\x02\x03";
const std::string LONG_SOURCE = "|0100 aa |10ff bb";
const std::string LONG_ROM = std::string("\xaa") + std::string(0xffe, '\0') + "\xbb";

TEST_F(Outputs, ALinkedRomIsReplacedAtItsTargetWithItsPermissionBits) {
    write("in.orv", SHORT_SOURCE);
    write("target.rom", "old");
    fs::permissions(dir_ / "target.rom", fs::perms(0640));
    fs::create_symlink("target.rom", dir_ / "out.rom");
    ASSERT_EQ(run("in.orv", "out.rom"), 0) << err();
    EXPECT_TRUE(fs::is_symlink(dir_ / "out.rom"));
    EXPECT_EQ(read_file(dir_ / "target.rom"), SHORT_ROM);
    EXPECT_EQ(fs::status(dir_ / "target.rom").permissions(), fs::perms(0640));
}

// Links are followed as open follows them: relative to the link's own
// directory, through chains; a loop of links cannot be written at all.
TEST_F(Outputs, ChainsOfLinksAreFollowedAndLoopsRefused) {
    write("in.orv", SHORT_SOURCE);
    fs::create_directories(dir_ / "roms" / "old");
    write("roms/old/target.rom", "old");
    fs::create_symlink("old/target.rom", dir_ / "roms" / "current.rom");
    fs::create_symlink(dir_ / "roms" / "current.rom", dir_ / "out.rom");
    ASSERT_EQ(run("in.orv", "out.rom"), 0) << err();
    EXPECT_EQ(read_file(dir_ / "roms/old/target.rom"), SHORT_ROM);
    EXPECT_TRUE(fs::is_symlink(dir_ / "roms" / "current.rom"));

    fs::create_symlink("loop.rom", dir_ / "loop.rom");
    EXPECT_EQ(run("in.orv", "loop.rom"), 1);
    EXPECT_EQ(err(), "Invalid Output: loop.rom\n");
}

// Replaced by a privileged user, a rom stays its owner's, with its
// set-user-ID and set-group-ID bits, which a change of owner clears.
TEST_F(Outputs, AReplacedRomKeepsItsOwnerAndItsSetIdBits) {
    if (geteuid() != 0) GTEST_SKIP() << "only a privileged user can give a file away";
    write("in.orv", SHORT_SOURCE);
    write("out.rom", "old");
    ASSERT_EQ(chown((dir_ / "out.rom").c_str(), 65534, 65534), 0);
    ASSERT_EQ(chmod((dir_ / "out.rom").c_str(), 06755), 0);
    ASSERT_EQ(run("in.orv", "out.rom"), 0) << err();
    struct stat status;
    ASSERT_EQ(stat((dir_ / "out.rom").c_str(), &status), 0);
    EXPECT_EQ(status.st_uid, 65534u);
    EXPECT_EQ(status.st_gid, 65534u);
    EXPECT_EQ(status.st_mode & 07777, 06755u);
    EXPECT_EQ(read_file(dir_ / "out.rom"), SHORT_ROM);
}

// A world-writable rom of another user in a sticky directory (/tmp, say)
// may be written but not renamed over: it is written in place.
TEST_F(Outputs, ARomThatMayNotBeRenamedOverIsWrittenInPlace) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to act as two other users";
    write("in.orv", SHORT_SOURCE);
    fs::create_directory(dir_ / "shared");
    write("shared/out.rom", "old");
    ASSERT_EQ(chown((dir_ / "shared/out.rom").c_str(), 65533, 65533), 0);
    fs::permissions(dir_ / "shared/out.rom", fs::perms(0666));
    fs::permissions(dir_ / "shared", fs::perms(01777));
    run_as_anyone({"in.orv"});
    ASSERT_EQ(run("in.orv", "shared/out.rom", become_nobody), 0) << err();
    EXPECT_EQ(read_file(dir_ / "shared/out.rom"), SHORT_ROM);
    struct stat status;
    ASSERT_EQ(stat((dir_ / "shared/out.rom").c_str(), &status), 0);
    EXPECT_EQ(status.st_uid, 65533u);
    for (const auto& entry : fs::directory_iterator(dir_ / "shared"))
        EXPECT_NE(entry.path().filename().string()[0], '.') << entry.path();
}

TEST_F(Outputs, ASymbolFileLinkedToTheRomIsNotWritten) {
    write("in.orv", "@main " + SHORT_SOURCE);
    fs::create_symlink("out.rom", dir_ / "out.rom.sym");
    ASSERT_EQ(run("in.orv", "out.rom"), 0);
    EXPECT_EQ(read_file(dir_ / "out.rom"), SHORT_ROM);
    EXPECT_EQ(err(), "-- Unused label: main\n"
                     "Assembled out.rom in 3 bytes(0.00% used), 1 labels, 0 macros.\n"
                     "-- Symbol file not written: out.rom.sym\n");
}

// A symbol file and a listing whose writes fail part-way (on a full
// device) are not written; the rom is, and the link stays.
TEST_F(Outputs, OutputsOnAFullDeviceAreNotWritten) {
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
    std::string labels;
    for (int i = 100; i < 300; i++) labels += "@L" + std::string(55, 'a') + std::to_string(i) + " ";
    write("in.orv", labels + SHORT_SOURCE);
    fs::create_symlink("/dev/full", dir_ / "out.rom.sym");
    options_ = {"--listing=/dev/full"};
    ASSERT_EQ(run("in.orv", "out.rom"), 1) << err();
    EXPECT_EQ(read_file(dir_ / "out.rom"), SHORT_ROM);
    EXPECT_TRUE(fs::is_symlink(dir_ / "out.rom.sym"));
    EXPECT_EQ(err(), "Assembled out.rom in 3 bytes(0.00% used), 200 labels, 0 macros.\n"
                     "-- Symbol file not written: out.rom.sym\n"
                     "Listing not written: /dev/full\n");
}

// A file-size limit stands for a full disk: the write fails part-way.
TEST_F(Outputs, AFailedWriteLeavesTheOldFilesWhole) {
    write("in.orv", LONG_SOURCE);
    write("out.rom", SHORT_ROM);
    auto limit = [](rlim_t bytes) {
        return [bytes] {
            rlimit size = {bytes, bytes};
            setrlimit(RLIMIT_FSIZE, &size);
        };
    };
    EXPECT_EQ(run("in.orv", "out.rom", limit(1024)), 1);
    EXPECT_EQ(err(), "Output write failed: out.rom\n");
    EXPECT_EQ(read_file(dir_ / "out.rom"), SHORT_ROM);
    EXPECT_EQ(file_count(), 2);

    // The rom fits; the symbol file, 20 records of 63 bytes, does not.
    std::string labels;
    for (int i = 0; i < 20; i++)
        labels += "@L" + std::string(57, 'a') + std::to_string(i % 10) + char('a' + i) + " ";
    write("in.orv", labels + SHORT_SOURCE);
    write("out.rom.sym", "old symbols");
    EXPECT_EQ(run("in.orv", "out.rom", limit(1024)), 0);
    EXPECT_EQ(read_file(dir_ / "out.rom"), SHORT_ROM);
    EXPECT_EQ(read_file(dir_ / "out.rom.sym"), "old symbols");
    EXPECT_EQ(err(), "Assembled out.rom in 3 bytes(0.00% used), 20 labels, 0 macros.\n"
                     "-- Symbol file not written: out.rom.sym\n");
    EXPECT_EQ(file_count(), 3);
}

// Where no file can be made beside the rom, it is written in place as before.
TEST_F(Outputs, ARomInADirectoryThatTakesNoNewFileIsWrittenInPlace) {
    write("in.orv", SHORT_SOURCE);
    fs::create_directory(dir_ / "fixed");
    write("fixed/out.rom", "old");
    fs::permissions(dir_ / "fixed/out.rom", fs::perms(0666));
    fs::permissions(dir_ / "fixed", fs::perms(0555));
    // Root may create files anywhere; an ordinary user may not.
    run_as_anyone({"in.orv"});
    int status = run("in.orv", "fixed/out.rom", become_nobody);
    fs::permissions(dir_ / "fixed", fs::perms(0755));
    EXPECT_EQ(status, 0) << err();
    EXPECT_EQ(read_file(dir_ / "fixed/out.rom"), SHORT_ROM);
    EXPECT_EQ(fs::directory_iterator(dir_ / "fixed")->path().filename(), "out.rom");
}

// The deepest legal program, 256 macros each using the next, the last
// opening a chain of 64 includes, runs on a stack of 64 KiB; with a listing,
// which keeps the place of every token, on one of 96 KiB.
TEST_F(Outputs, TheDeepestProgramRunsOnASmallStack) {
    std::string source;
    for (int i = 0; i < 255; i++)
        source += "%m" + std::to_string(i) + " { m" + std::to_string(i + 1) + " } ";
    write("in.orv", "@Main " + source + "%m255 { ~f1 } m0");
    for (int i = 1; i < 64; i++) write("f" + std::to_string(i), "~f" + std::to_string(i + 1));
    write("f64", "01");
    auto stack_of = [](rlim_t kib) {
#if defined(__SANITIZE_ADDRESS__) || !defined(__OPTIMIZE__)
        kib = 4096; // frames unoptimised or sanitized are several times larger
#endif
        return [kib] {
            rlimit limit = {kib * 1024, kib * 1024};
            setrlimit(RLIMIT_STACK, &limit);
            // The stack's start moves by up to 8 KiB at random otherwise,
            // which the limit counts.
            personality(ADDR_NO_RANDOMIZE);
        };
    };
    options_ = {"--depfile=out.d"};
    EXPECT_EQ(run("in.orv", "out.rom", stack_of(64)), 0) << err();
    EXPECT_EQ(read_file(dir_ / "out.rom"), "\x01");
    EXPECT_EQ(read_file(dir_ / "out.rom.sym"), std::string("\x01\x00Main\0", 7));
    EXPECT_NE(read_file(dir_ / "out.d").find(" f64\n"), std::string::npos);
    options_ = {"--listing=out.lst", "--locations"};
    EXPECT_EQ(run("in.orv", "out.rom", stack_of(96)), 0) << err();
    EXPECT_NE(read_file(dir_ / "out.lst").find("f64:1"), std::string::npos);
}

TEST_F(Outputs, ControlBytesInTokensAreEscapedOnATerminalOnly) {
    write("in.orv", "\x1b]0;title\x07");
    const std::string shown = "Unknown absolute reference: \\x1b]0;title\\x07\n";
    EXPECT_EQ(run_on_terminal("in.orv", "out.rom"), shown + "Assembly: Failed to assemble rom.\n");

    EXPECT_EQ(run("in.orv", "out.rom"), 1);
    EXPECT_EQ(err(),
              "Unknown absolute reference: \x1b]0;title\x07\nAssembly: Failed to assemble rom.\n");
}

// Every path a line names is escaped on a terminal, the rom's in the
// summary line as in any other; C1 controls too, in either form.
TEST_F(Outputs, TheSummaryLineEscapesTheRomPathOnATerminal) {
    write("in.orv", "01");
    const std::string rom = "out\x1b]0;x\x07\x9b"
                            "2J\xc2\x9b"
                            "2J\xc3\xa9.rom";
    EXPECT_EQ(run_on_terminal("in.orv", rom),
              "Assembled out\\x1b]0;x\\x07\\x9b2J\\xc2\\x9b2J\xc3\xa9.rom in 1 bytes(0.00% used), "
              "0 labels, 0 macros.\n");
    EXPECT_EQ(read_file(dir_ / rom), "\x01");
    EXPECT_EQ(run("in.orv", rom), 0);
    EXPECT_EQ(err(), "Assembled " + rom + " in 1 bytes(0.00% used), 0 labels, 0 macros.\n");
}

// Two runs write one rom; one is held in the middle of its write, then
// finishes or is killed. The rom is always one program's, whole.
TEST_F(Outputs, ARunHeldOrKilledMidWriteNeverLeavesAMixedRom) {
#if defined(__x86_64__)
    write("short.orv", SHORT_SOURCE);
    write("long.orv", LONG_SOURCE);
    write("out.rom", "old");
    pid_t held = start_held_at_rom_write("short.orv");
    if (held < 0) GTEST_SKIP() << "the program cannot be traced here";
    EXPECT_EQ(read_file(dir_ / "out.rom"), "old");
    ASSERT_EQ(run("long.orv", "out.rom"), 0);
    EXPECT_TRUE(read_file(dir_ / "out.rom") == LONG_ROM);
    ptrace(PTRACE_DETACH, held, nullptr, nullptr);
    EXPECT_EQ(finish(held), 0);
    EXPECT_EQ(read_file(dir_ / "out.rom"), SHORT_ROM);

    held = start_held_at_rom_write("long.orv");
    ASSERT_GT(held, 0);
    kill(held, SIGKILL);
    EXPECT_EQ(finish(held), -1);
    EXPECT_EQ(read_file(dir_ / "out.rom"), SHORT_ROM);
#else
    GTEST_SKIP() << "holding a run at its write is done on x86-64 only";
#endif
}

// A run interrupted while it writes the rom removes its temporary file and
// ends by the signal, as it would have without a handler.
TEST_F(Outputs, AnInterruptedRunLeavesNoTemporaryFile) {
#if defined(__x86_64__)
    write("in.orv", SHORT_SOURCE);
    write("out.rom", "old");
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        pid_t held = start_held_at_rom_write("in.orv");
        if (held < 0) GTEST_SKIP() << "the program cannot be traced here";
        EXPECT_EQ(file_count(), 3); // the temporary file is there
        // Pending while the run is held; delivered once it goes on untraced.
        kill(held, signal);
        ptrace(PTRACE_DETACH, held, nullptr, nullptr);
        int status = 0;
        waitpid(held, &status, 0);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << status;
        EXPECT_EQ(read_file(dir_ / "out.rom"), "old");
        EXPECT_EQ(file_count(), 2) << "signal " << signal;
    }
#else
    GTEST_SKIP() << "holding a run at its write is done on x86-64 only";
#endif
}

} // namespace
