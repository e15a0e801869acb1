// fork, chdir, exec and wait4 (execvp, so that a launcher is found on PATH;
// a program given with a slash is run as it is); standard output and standard error go to
// tmpfile()s, which need no reading while the child runs and leave no names.
#include "support/run_program.hpp"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <stdexcept>

namespace {

struct Closer {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, Closer>;

std::string read_back(std::FILE* file) {
    std::string bytes;
    std::rewind(file);
    char block[65536];
    for (std::size_t got; (got = std::fread(block, 1, sizeof block, file)) > 0;)
        bytes.append(block, got);
    return bytes;
}

} // namespace

RunResult run_program(const std::string& program, const std::filesystem::path& dir,
                      const std::vector<std::string>& args) {
    File out(std::tmpfile());
    File err(std::tmpfile());
    if (!out || !err) throw std::runtime_error("cannot create the files for the outputs");
    // Everything the child needs is made before fork: it only makes calls
    // that are safe there.
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    int out_fd = fileno(out.get());
    int err_fd = fileno(err.get());

    pid_t child = fork();
    if (child < 0) throw std::runtime_error("cannot fork to run " + program);
    if (child == 0) {
        int in = open("/dev/null", O_RDONLY);
        if (in < 0 || chdir(dir.c_str()) != 0 || dup2(in, 0) < 0 || dup2(out_fd, 1) < 0 ||
            dup2(err_fd, 2) < 0)
            _exit(126);
        execvp(program.c_str(), argv.data());
        _exit(127);
    }
    RunResult result;
    int raw = 0;
    rusage usage{};
    while (wait4(child, &raw, 0, &usage) < 0)
        if (errno != EINTR) throw std::runtime_error("cannot wait for " + program);
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    result.max_rss_kib = usage.ru_maxrss;
    result.out = read_back(out.get());
    result.err = read_back(err.get());
    return result;
}

std::vector<std::string> split_words(const std::string& text) {
    std::vector<std::string> words;
    std::string word;
    for (char c : text + ' ') {
        if (c != ' ' && c != '\t') {
            word += c;
        } else if (!word.empty()) {
            words.push_back(word);
            word.clear();
        }
    }
    return words;
}

RunResult run_tested(const std::string& built, const std::filesystem::path& dir,
                     const std::vector<std::string>& args) {
    const char* program = std::getenv("ORVASM_TEST_PROGRAM");
    const char* launcher = std::getenv("ORVASM_TEST_LAUNCHER");
    std::vector<std::string> command = split_words(launcher ? launcher : "");
    command.push_back(program && *program ? program : built);
    command.insert(command.end(), args.begin(), args.end());
    return run_program(command.front(), dir, {command.begin() + 1, command.end()});
}
