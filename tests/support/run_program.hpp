// Runs a program the way a user would, in a directory of its own, and keeps
// what it printed.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

struct RunResult {
    int status = -1;      // the exit status, or 128 + the signal that ended it
    std::string out;      // all of standard output
    std::string err;      // all of standard error
    long max_rss_kib = 0; // its peak resident memory
};

// Runs `program` with `args` (argv[0] is `program` itself) in the working
// directory `dir`, with standard input from /dev/null, and waits for it.
// Nothing is created in `dir`: the outputs are captured in anonymous files.
// Throws std::runtime_error when no process can be started. A child that
// cannot enter `dir` ends with status 126, one that cannot execute `program`
// with 127.
RunResult run_program(const std::string& program, const std::filesystem::path& dir,
                      const std::vector<std::string>& args);

// run_program of the program under test: `built`, or the one named by the
// environment variable ORVASM_TEST_PROGRAM (a build for another platform),
// started through the words of ORVASM_TEST_LAUNCHER when that is set (its
// emulator: "qemu-s390x -L /usr/s390x-linux-gnu", "wine"). A launcher is
// looked for on PATH.
RunResult run_tested(const std::string& built, const std::filesystem::path& dir,
                     const std::vector<std::string>& args);

// The words of `text`, split at blanks.
std::vector<std::string> split_words(const std::string& text);
