// What makes a write safe: refusals before any work, and a temporary file
// beside the destination that is renamed into place only when complete.
#pragma once

#include <string>
#include <vector>

// Refuses an OUTPUT that exists and is not a regular file (or a link to
// one), or exists without `force`. `target` gets the file to write: a link
// is written through to the file it names.
bool checkOutputTarget(const std::string& path, bool force, std::string& target, std::string& error);

// Temporary files of killed runs beside `path`.
std::vector<std::string> staleTemporaries(const std::string& path);

// ".NAME.part-XXXXXX" beside the destination, NAME shortened where the
// folder's limit on a name's length needs it. Removed unless committed,
// and by a signal that ends the process.
class TemporaryFile {
public:
    TemporaryFile() = default;
    ~TemporaryFile() { discard(); }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    bool create(const std::string& destination, std::string& error);
    int descriptor() const { return descriptor_; }
    const std::string& name() const { return name_; }
    // Closes the file, then renames it to `destination`; `replace` allows
    // an existing one to be overwritten.
    bool commit(const std::string& destination, bool replace, std::string& error);
    void discard();

private:
    std::string name_;
    int descriptor_ = -1;
    int slot_ = -1;
};
