#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace PowerCore {

// The history folder, opened and pinned for one operation of the store: every name resolves
// inside it and never through a symbolic link, even if the folder's path is swapped for a
// link meanwhile.
class OpenHistoryFolder {
public:
    virtual ~OpenHistoryFolder() = default;

    // The entry names, sorted, without "." and "..".
    virtual std::vector<std::string> entryNames() const = 0;
    // The whole of a regular file into `bytes`, with room for `extraCapacity` more bytes
    // after it; false when the name cannot be opened or holds more than `maxBytes`. Anything
    // but a regular file (a FIFO, a device) reads empty, without blocking.
    virtual bool read(const std::string& name, std::string& bytes, size_t extraCapacity,
                      size_t maxBytes) const = 0;

    struct AppendFailure {
        enum class Stage { open, write } stage;
        int error; // the platform's error number; ENOSPC for a short write
    };
    // Appends `bytes` with one write, making the file (mode 0600) if needed. A failed write
    // leaves the file as it was; a file whose last line was cut short (a crash) gets its
    // line ended first, so the new line stands on its own.
    virtual std::optional<AppendFailure> append(const std::string& name,
                                                std::string_view bytes) const = 0;
    // The size of an entry itself (a link is not followed); none when it cannot be read.
    virtual std::optional<std::uint64_t> size(const std::string& name) const = 0;
    // Deletes the entry only when it is a regular file; false otherwise or on failure.
    virtual bool removeRegularFile(const std::string& name) const = 0;
};

// The file system the history lives on.
class HistoryFileSystem {
public:
    virtual ~HistoryFileSystem() = default;

    // The folder is missing (made on the first write) or a real directory, not a link.
    virtual bool folderIsSafe(const std::filesystem::path& folder) const = 0;
    // Makes the folder and its missing parents with mode 0700: 0, or the error number of the
    // step that failed.
    virtual int makeFolders(const std::filesystem::path& folder) const = 0;
    // Null when the folder is missing or not safe.
    virtual std::unique_ptr<OpenHistoryFolder> open(const std::filesystem::path& folder) const = 0;
    // A hint that `bytes` of fresh memory are about to be written: the platform may make its
    // pages present at once rather than one fault at a time. The content is left alone.
    virtual void prefaultForWriting(void* begin, size_t bytes) const = 0;
};

} // namespace PowerCore
