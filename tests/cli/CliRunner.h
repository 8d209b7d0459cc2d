#pragma once
// Runs the built vellocar-cli as a child process with its output captured in files, and writes
// small KEY and BIF files byte by byte, so that the tests do not depend on the writers they
// check against.

#include "TempDir.h"

#include <cstdint>
#include <cerrno>
#include <fcntl.h>
#include <pty.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace vellocar::test {

struct CliResult {
    int status = -1;   // exit status; -1 when the program did not exit normally
    std::string out;
    std::string err;
};

// Runs vellocar-cli with args, from the folder cwd when one is given. stdin is /dev/null and
// both outputs are files, so the program never sees a terminal.
inline CliResult RunCli(const TempDir& scratch, const std::vector<std::string>& args,
                        const std::string& cwd = {}) {
    const std::string outPath = scratch / ".cli-stdout";
    const std::string errPath = scratch / ".cli-stderr";
    std::vector<std::string> argvStore{VELLOCAR_CLI_PATH};
    argvStore.insert(argvStore.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : argvStore) argv.push_back(arg.data());
    argv.push_back(nullptr);

    const pid_t child = fork();
    if (child == 0) {
        const int in = open("/dev/null", O_RDONLY);
        const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (in < 0 || out < 0 || err < 0) _exit(127);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        if (!cwd.empty() && chdir(cwd.c_str()) != 0) _exit(127);
        execv(argv[0], argv.data());
        _exit(127);
    }
    CliResult result;
    int raw = 0;
    if (child > 0 && waitpid(child, &raw, 0) == child && WIFEXITED(raw)) result.status = WEXITSTATUS(raw);
    const auto out = ReadFile(outPath);
    const auto err = ReadFile(errPath);
    result.out.assign(out.begin(), out.end());
    result.err.assign(err.begin(), err.end());
    return result;
}

// The same with the program's stderr on a pseudo-terminal (what it then writes there ends up
// in err), for the output that only a terminal gets.
inline CliResult RunCliOnTerminal(const TempDir& scratch, const std::vector<std::string>& args) {
    const std::string outPath = scratch / ".cli-stdout";
    std::vector<std::string> argvStore{VELLOCAR_CLI_PATH};
    argvStore.insert(argvStore.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : argvStore) argv.push_back(arg.data());
    argv.push_back(nullptr);

    CliResult result;
    int master = -1;
    int slave = -1;
    if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) return result;
    const pid_t child = fork();
    if (child == 0) {
        ::close(master);
        const int in = open("/dev/null", O_RDONLY);
        const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (in < 0 || out < 0) _exit(127);
        dup2(in, 0);
        dup2(out, 1);
        dup2(slave, 2);
        execv(argv[0], argv.data());
        _exit(127);
    }
    ::close(slave);
    // Drain while the child runs: a full terminal buffer would block it.
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(master, buffer, sizeof buffer);
        if (got > 0) {
            result.err.append(buffer, static_cast<std::size_t>(got));
        } else if (got < 0 && errno == EINTR) {
            continue;
        } else {
            break;   // EIO once the child's side is closed
        }
    }
    ::close(master);
    int raw = 0;
    if (child > 0 && waitpid(child, &raw, 0) == child && WIFEXITED(raw)) result.status = WEXITSTATUS(raw);
    const auto out = ReadFile(outPath);
    result.out.assign(out.begin(), out.end());
    return result;
}

// Little-endian byte building.
class Bytes {
public:
    Bytes& U16(std::uint32_t v) { return Put(v, 2); }
    Bytes& U32(std::uint32_t v) { return Put(v, 4); }
    Bytes& Text(const std::string& s) {
        data.insert(data.end(), s.begin(), s.end());
        return *this;
    }
    // s padded with zero bytes (or cut) to exactly size bytes.
    Bytes& Fixed(const std::string& s, std::size_t size) {
        std::string padded = s.substr(0, size);
        padded.resize(size, '\0');
        return Text(padded);
    }
    std::vector<unsigned char> data;

private:
    Bytes& Put(std::uint32_t v, int count) {
        for (int i = 0; i < count; ++i) data.push_back(static_cast<unsigned char>(v >> (8 * i)));
        return *this;
    }
};

struct KeyResource {
    std::string resRef;
    std::uint16_t type = 0;
    std::uint32_t resId = 0;
};

struct KeyBif {
    std::string name;   // as stored, "data\x.bif"
};

// A KEY in the layout the game uses: header, file table, names (each with a zero byte), key
// table in the order given (which may interleave BIFs).
inline void WriteKey(const std::string& path, const std::vector<KeyBif>& bifs,
                     const std::vector<KeyResource>& resources) {
    const auto bifCount = static_cast<std::uint32_t>(bifs.size());
    std::uint32_t namesSize = 0;
    for (const KeyBif& bif : bifs) namesSize += static_cast<std::uint32_t>(bif.name.size() + 1);
    const std::uint32_t fileTable = 64;
    const std::uint32_t names = fileTable + 12 * bifCount;
    const std::uint32_t keyTable = names + namesSize;

    Bytes b;
    b.Text("KEY V1  ").U32(bifCount).U32(static_cast<std::uint32_t>(resources.size()));
    b.U32(fileTable).U32(keyTable).U32(125).U32(0).Fixed("", 32);
    std::uint32_t nameOffset = names;
    for (const KeyBif& bif : bifs) {
        const auto size = static_cast<std::uint32_t>(bif.name.size() + 1);
        b.U32(0).U32(nameOffset).U16(size).U16(0);
        nameOffset += size;
    }
    for (const KeyBif& bif : bifs) b.Text(bif.name).Fixed("", 1);
    for (const KeyResource& r : resources) b.Fixed(r.resRef, 16).U16(r.type).U32(r.resId);
    WriteFile(path, b.data);
}

// A BIF whose variable table holds one entry per content, in order, with the bytes after it.
inline void WriteBif(const std::string& path, const std::vector<std::string>& contents,
                     const std::vector<std::uint32_t>& types = {}) {
    const auto count = static_cast<std::uint32_t>(contents.size());
    Bytes b;
    b.Text("BIFFV1  ").U32(count).U32(0).U32(20);
    std::uint32_t offset = 20 + 16 * count;
    for (std::uint32_t i = 0; i < count; ++i) {
        const auto size = static_cast<std::uint32_t>(contents[i].size());
        b.U32(i).U32(offset).U32(size).U32(i < types.size() ? types[i] : 2017);
        offset += size;
    }
    for (const std::string& content : contents) b.Text(content);
    WriteFile(path, b.data);
}

inline std::string ReadText(const std::string& path) {
    const auto bytes = ReadFile(path);
    return {bytes.begin(), bytes.end()};
}

} // namespace vellocar::test
