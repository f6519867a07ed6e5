// Where one output goes, and how it gets there without destroying anything.
// A regular file, or a name not yet taken, is written to a temporary file
// beside it and renamed over it only once complete. Standard output ("-") and
// an existing file that is not a regular one (a device, a FIFO) are streamed
// into, never truncated nor removed. Nothing but the temporary file is ever
// removed.
#pragma once

#include <cstdio>
#include <string>

namespace zohost::tool {

// The same file, by filesystem identity where both exist, else by the
// absolute path with links resolved. "-" is only the same as "-".
bool sameFile(const std::string& a, const std::string& b);

// Calls `fn` with each temporary file an OutputFile of this process holds
// now; safe in a signal handler, for a stop that cannot take the normal path.
void forEachTemporary(void (*fn)(const char* path));

class OutputFile {
public:
    OutputFile() = default;
    ~OutputFile() { abandon(); }
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Makes the temporary file (or opens the stream) now, so that an output
    // that cannot be written is known before the run. False with `error` set.
    bool begin(const std::string& path, std::string& error);
    bool active() const { return mode_ != Mode::None; }
    const std::string& path() const { return path_; }

    // For a writer of whole files: the file to write. Its bytes reach the
    // target at commit().
    const std::string& workPath();
    // For a writer of lines: a stream that reaches the target (the temporary
    // file, or the target itself when it is streamed into).
    std::FILE* stream();

    // Puts what was written in place. False with `error` set; the target is
    // then as it was (except a stream, which holds what reached it).
    bool commit(std::string& error);
    // Removes the temporary file, if any; the target stays as it was.
    void abandon();

private:
    enum class Mode { None, Replace, Stream };
    Mode mode_ = Mode::None;
    std::string path_;    // as given
    std::string target_;  // links resolved
    std::string work_;    // temporary file
    int slot_ = -1;       // in the registry of temporaries
    std::FILE* work_file_ = nullptr;
    std::FILE* out_ = nullptr;  // the streamed target, when mode_ is Stream
    bool out_owned_ = false;
};

}  // namespace zohost::tool
