#pragma once

#include <PowerCore/foundation/Timestamp.hpp>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace VuzurTests {

// An instant written in a test as strict ISO 8601; a mistyped one fails the test loudly.
inline PowerCore::Timestamp at(const char* iso) {
    const auto time = PowerCore::parseISO8601(iso);
    if (!time) throw std::invalid_argument(std::string("not an ISO 8601 instant: ") + iso);
    return *time;
}

inline std::filesystem::path testData(const std::string& relative) {
    return std::filesystem::path(VUZUR_TEST_DATA) / relative;
}

// A folder of its own under the system's temporary folder, removed with the object.
class TemporaryFolder {
public:
    TemporaryFolder();
    ~TemporaryFolder();
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;
    const std::filesystem::path& path() const { return path_; }
    // Writes `contents` to `relative`, creating the folders on the way.
    void write(const std::string& relative, const std::string& contents) const;

private:
    std::filesystem::path path_;
};

struct ProcessResult {
    int exitStatus = -1;
    std::string out;
    std::string err;
};

// Runs the program with extra environment entries ("NAME=value") and waits for it.
ProcessResult runProgram(const std::string& program, const std::vector<std::string>& arguments,
                         const std::vector<std::string>& environment = {});

// Starts a program (argv[0] is its path) and returns once it has replaced the forked copy
// of this process, so /proc shows the program itself; -1 on failure.
int spawnAndWaitForExec(const std::vector<std::string>& argv);
void killAndReap(int pid);

// The kernel's own accounting of a process, to compare a live measurement with rather than
// with a fixed share (a loaded machine gives a busy child less than a core): its CPU time
// in seconds (utime + stime of /proc/PID/stat, every thread), and its voluntary context
// switches summed over its threads; none when the process is gone.
std::optional<double> kernelCpuSeconds(int pid);
std::optional<double> kernelVoluntarySwitches(int pid);

} // namespace VuzurTests
