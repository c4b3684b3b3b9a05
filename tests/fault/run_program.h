// Runs a program as a script would, for the failure tests: its console
// streams go to files, extra environment entries are added, and a hook may
// change the child (a resource limit) just before the program starts.
#ifndef PLAINWRIT_TESTS_RUN_PROGRAM_H
#define PLAINWRIT_TESTS_RUN_PROGRAM_H

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace run_program {

struct Outcome {
    int exitCode = -1;  // 128 + the signal for a killed run, -1 when it had to be stopped
    std::string out;
    std::string err;
};

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// Everything is prepared before fork, so the child only calls what is safe
// there even while other threads of the test run.
inline Outcome run(const std::string& program, std::vector<std::string> args,
                   const std::string& scratchDir, const std::vector<std::string>& extraEnv = {},
                   void (*inChild)() = nullptr) {
    args.insert(args.begin(), program);
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(&arg[0]);
    argv.push_back(nullptr);
    std::vector<std::string> envStrings(extraEnv);
    std::vector<char*> envp;
    for (std::string& entry : envStrings) envp.push_back(&entry[0]);
    for (char** entry = environ; *entry != nullptr; ++entry) envp.push_back(*entry);
    envp.push_back(nullptr);

    const std::string outPath = scratchDir + "/.stdout";
    const std::string errPath = scratchDir + "/.stderr";
    const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(out, 1);
        ::dup2(err, 2);
        if (inChild != nullptr) inChild();
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    ::close(out);
    ::close(err);
    Outcome outcome;
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (::waitpid(child, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(child, SIGKILL);
            ::waitpid(child, &status, 0);
            return outcome;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    outcome.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    outcome.out = readFile(outPath);
    outcome.err = readFile(errPath);
    return outcome;
}

// A fresh directory for one test, removed with everything in it.
struct ScratchDir {
    std::string path;
    ScratchDir() {
        std::string pattern = "/tmp/plainwrit-fault-XXXXXX";
        if (const char* tmp = std::getenv("TMPDIR"))
            pattern = std::string(tmp) + "/plainwrit-fault-XXXXXX";
        if (::mkdtemp(&pattern[0]) != nullptr) path = pattern;
    }
    ~ScratchDir() {
        if (!path.empty()) (void)std::system(("rm -rf '" + path + "'").c_str());
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    std::string operator/(const std::string& name) const { return path + "/" + name; }
};

}  // namespace run_program

#endif
