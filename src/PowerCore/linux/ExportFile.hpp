#pragma once

#include <PowerCore/history/Export.hpp>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace PowerCore {

// Why an export's file could not be written, as the system says it: "Permission denied".
struct ExportFileError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// An export's file, written whole or not at all: into a temporary file in the target's
// folder, renamed over the target by commit(). Dropped uncommitted (a failure, a cancel),
// the temporary file goes and the target is as it was. "-" is standard output, written as
// it comes, as are /dev/stdout, /dev/fd/N, a pipe and a device. A target that is a link is
// written where the link points (made there if missing), and an existing target keeps its
// permissions.
class ExportFile final : public Export::FileOutput {
public:
    // Throws ExportFileError when the file cannot be made (a folder that is missing or not
    // writable, a target that is a directory or a read-only file).
    explicit ExportFile(const std::string& path);
    ~ExportFile() override;
    ExportFile(const ExportFile&) = delete;
    ExportFile& operator=(const ExportFile&) = delete;

    void write(std::string_view text) override; // throws ExportFileError
    void commit() override;                     // throws ExportFileError

private:
    void flush();
    [[noreturn]] static void fail(int error);

    std::filesystem::path target_, temporary_;
    int fd_ = -1;
    // Written into as it comes: the output the program was given ("-", /dev/stdout), or a
    // pipe or device named by the path.
    enum class Direct { no, inherited, opened } direct_ = Direct::no;
    std::string buffer_;
};

} // namespace PowerCore
