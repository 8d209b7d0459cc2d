#pragma once
// Runs the built vellocar-cli as a child process with its output captured; the KEY and BIF
// files it is given come from ArchiveBytes.h.

#include "ArchiveBytes.h"
#include "TempDir.h"

#include <cstdint>
#include <cerrno>
#include <fcntl.h>
#include <pty.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace vellocar::test {

struct CliResult {
    int status = -1; // exit status; -1 when the program did not exit normally
    std::string out;
    std::string err;
};

struct CliOptions {
    std::string cwd; // the folder the program runs in; the test's own when empty
    // Which output is a pseudo-terminal (what the program writes there is captured byte for
    // byte, without the terminal's newline translation); the other one, or both, are files.
    enum class Terminal { None, Stdout, Stderr } terminal = Terminal::None;
    rlim_t addressSpace = RLIM_INFINITY; // the program's RLIMIT_AS

    static CliOptions InFolder(std::string folder) {
        CliOptions options;
        options.cwd = std::move(folder);
        return options;
    }
    static CliOptions OnTerminal(Terminal which) {
        CliOptions options;
        options.terminal = which;
        return options;
    }
    static CliOptions WithAddressSpace(rlim_t bytes) {
        CliOptions options;
        options.addressSpace = bytes;
        return options;
    }
};

// Runs vellocar-cli with args as a child process, stdin on /dev/null, and returns its exit
// status and what it wrote.
inline CliResult RunCli(const TempDir& scratch, const std::vector<std::string>& args, const CliOptions& options = {}) {
    const std::string outPath = scratch / ".cli-stdout";
    const std::string errPath = scratch / ".cli-stderr";
    std::vector<std::string> argvStore{VELLOCAR_CLI_PATH};
    argvStore.insert(argvStore.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : argvStore) argv.push_back(arg.data());
    argv.push_back(nullptr);

    CliResult result;
    const bool onTerminal = options.terminal != CliOptions::Terminal::None;
    const int terminalFd = options.terminal == CliOptions::Terminal::Stdout ? 1 : 2;
    int master = -1;
    int slave = -1;
    if (onTerminal) {
        if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) return result;
        termios mode{};
        tcgetattr(slave, &mode);
        mode.c_oflag &= ~static_cast<tcflag_t>(OPOST);
        tcsetattr(slave, TCSANOW, &mode);
    }
    const pid_t child = fork();
    if (child == 0) {
        if (onTerminal) ::close(master);
        const int in = open("/dev/null", O_RDONLY);
        const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (in < 0 || out < 0 || err < 0) _exit(127);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        if (onTerminal) dup2(slave, terminalFd);
        if (!options.cwd.empty() && chdir(options.cwd.c_str()) != 0) _exit(127);
        const rlimit limit{options.addressSpace, options.addressSpace};
        if (options.addressSpace != RLIM_INFINITY && setrlimit(RLIMIT_AS, &limit) != 0) _exit(127);
        execv(argv[0], argv.data());
        _exit(127);
    }
    std::string captured;
    if (onTerminal) {
        ::close(slave);
        // Drain while the child runs: a full terminal buffer would block it.
        char buffer[4096];
        for (;;) {
            const ssize_t got = ::read(master, buffer, sizeof buffer);
            if (got > 0) {
                captured.append(buffer, static_cast<std::size_t>(got));
            } else if (got < 0 && errno == EINTR) {
                continue;
            } else {
                break; // EIO once the child's side is closed
            }
        }
        ::close(master);
    }
    int raw = 0;
    if (child > 0 && waitpid(child, &raw, 0) == child && WIFEXITED(raw)) result.status = WEXITSTATUS(raw);
    const auto out = ReadFile(outPath);
    const auto err = ReadFile(errPath);
    result.out.assign(out.begin(), out.end());
    result.err.assign(err.begin(), err.end());
    (terminalFd == 1 ? result.out : result.err) += captured;
    return result;
}

inline std::string ReadText(const std::string& path) {
    const auto bytes = ReadFile(path);
    return {bytes.begin(), bytes.end()};
}

} // namespace vellocar::test
