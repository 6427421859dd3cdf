#include "TestSupport.hpp"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <poll.h>
#include <spawn.h>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace VuzurTests {

TemporaryFolder::TemporaryFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vuzur-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TemporaryFolder::~TemporaryFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

void TemporaryFolder::write(const std::string& relative, const std::string& contents) const {
    const auto file = path_ / relative;
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary | std::ios::trunc) << contents;
}

namespace {

void drain(int outFd, int errFd, std::string& out, std::string& err) {
    pollfd fds[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
    int open = 2;
    char buffer[4096];
    while (open > 0) {
        if (::poll(fds, 2, -1) < 0) break;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) continue;
            const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
            if (n <= 0) {
                fds[i].fd = -1;
                --open;
            } else {
                (i == 0 ? out : err).append(buffer, size_t(n));
            }
        }
    }
}

} // namespace

ProcessResult runProgram(const std::string& program, const std::vector<std::string>& arguments,
                         const std::vector<std::string>& environment) {
    int outPipe[2], errPipe[2];
    if (::pipe(outPipe) != 0 || ::pipe(errPipe) != 0) throw std::runtime_error("pipe failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], STDERR_FILENO);
    posix_spawn_file_actions_addclose(&actions, outPipe[0]);
    posix_spawn_file_actions_addclose(&actions, errPipe[0]);

    std::vector<std::string> argStrings{program};
    argStrings.insert(argStrings.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& a : argStrings)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> envStrings;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        // The variables under test come only from the caller.
        if (entry.starts_with("VUZUR_")) continue;
        envStrings.push_back(entry);
    }
    envStrings.insert(envStrings.end(), environment.begin(), environment.end());
    std::vector<char*> envp;
    for (auto& e : envStrings)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    pid_t pid = 0;
    const int spawned =
        ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    ProcessResult result;
    if (spawned == 0) drain(outPipe[0], errPipe[0], result.out, result.err);
    ::close(outPipe[0]);
    ::close(errPipe[0]);
    if (spawned != 0) throw std::runtime_error("cannot start " + program);
    int status = 0;
    ::waitpid(pid, &status, 0);
    result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

namespace {

// The write ends of the children's standard input, closed when a child is reaped.
std::map<int, int>& childInputs() {
    static std::map<int, int> inputs;
    return inputs;
}

} // namespace

int spawnAndWaitForExec(const std::vector<std::string>& argv) {
    int sync[2], input[2];
    if (::pipe2(sync, O_CLOEXEC) != 0) return -1;
    if (::pipe2(input, O_CLOEXEC) != 0) return -1;
    std::vector<std::string> copy = argv;
    std::vector<char*> args;
    for (auto& a : copy)
        args.push_back(a.data());
    args.push_back(nullptr);
    const pid_t child = ::fork();
    if (child == 0) {
        // Standard input stays open until the test reaps the child (a shell can wait on it
        // without a child process of its own); output goes nowhere, so the child never
        // holds the test runner's pipes.
        ::dup2(input[0], STDIN_FILENO);
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, STDOUT_FILENO);
        ::dup2(null, STDERR_FILENO);
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    ::close(sync[1]);
    ::close(input[0]);
    childInputs()[child] = input[1];
    char byte = 0;
    // The write end closes at the exec: read() returns 0 then.
    while (::read(sync[0], &byte, 1) < 0 && errno == EINTR) {
    }
    ::close(sync[0]);
    return child;
}

void killAndReap(int pid) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    if (const auto it = childInputs().find(pid); it != childInputs().end()) {
        ::close(it->second);
        childInputs().erase(it);
    }
}

std::optional<double> kernelCpuSeconds(int pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto close = text.rfind(')');
    if (close == std::string::npos) return std::nullopt;
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    double ticks = 0;
    // After the name: state is field 3; utime and stime are fields 14 and 15.
    for (int number = 3; number <= 15 && fields >> field; ++number)
        if (number >= 14) ticks += std::stod(field);
    return ticks / double(::sysconf(_SC_CLK_TCK));
}

std::optional<double> kernelVoluntarySwitches(int pid) {
    const auto tasks = std::filesystem::path("/proc") / std::to_string(pid) / "task";
    std::error_code error;
    double total = 0;
    bool any = false;
    for (const auto& task : std::filesystem::directory_iterator(tasks, error)) {
        std::ifstream in(task.path() / "status");
        std::string line;
        while (std::getline(in, line))
            if (line.starts_with("voluntary_ctxt_switches:")) {
                total += std::stod(line.substr(line.find(':') + 1));
                any = true;
            }
    }
    if (!any) return std::nullopt;
    return total;
}

} // namespace VuzurTests
