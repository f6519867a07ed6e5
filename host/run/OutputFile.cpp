#include "run/OutputFile.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "zohost/NewFile.h"

namespace zohost::tool {

namespace fs = std::filesystem;

namespace {

std::atomic<unsigned> g_counter{0};

// The temporary files this process made and has not yet renamed or removed,
// for a stop that cannot wait for the normal path. A slot is read by a
// signal handler only once its path is whole (state 2).
struct TemporarySlot {
    std::atomic<int> state{0};  // 0 free, 1 being written, 2 registered
    char path[1024];
};
TemporarySlot g_temporaries[64];

int registerTemporary(const std::string& path) {
    if (path.size() >= sizeof g_temporaries[0].path) return -1;
    for (int i = 0; i < 64; ++i) {
        int free_slot = 0;
        if (!g_temporaries[i].state.compare_exchange_strong(free_slot, 1)) continue;
        std::memcpy(g_temporaries[i].path, path.c_str(), path.size() + 1);
        g_temporaries[i].state.store(2);
        return i;
    }
    return -1;
}

void unregisterTemporary(int& slot) {
    if (slot >= 0) g_temporaries[slot].state.store(0);
    slot = -1;
}

std::string resolved(const std::string& path) {
    std::error_code ec;
    fs::path p = fs::weakly_canonical(fs::absolute(path, ec), ec);
    if (!ec) return p.string();
    // No working directory (removed under us): the path as given.
    const fs::path a = fs::absolute(path, ec);
    return ec ? fs::path(path).lexically_normal().string() : a.lexically_normal().string();
}

// "DIR/.NAME.zohost-N.tmp", created exclusively so that nothing is overwritten.
std::FILE* makeTemporary(const fs::path& beside, std::string& made, int& slot) {
    const fs::path dir = beside.has_parent_path() ? beside.parent_path() : fs::path(".");
    const std::string stem = "." + beside.filename().string() + ".zohost-";
    for (int attempt = 0; attempt < 100; ++attempt) {
        const fs::path p = dir / (stem + std::to_string(g_counter++) + ".tmp");
        std::FILE* f = createNewFile(p.string());
        if (f) {
            made = p.string();
            slot = registerTemporary(made);
            return f;
        }
        if (errno != EEXIST) return nullptr;
    }
    return nullptr;
}

bool copyInto(const std::string& from, std::FILE* to) {
    std::FILE* in = std::fopen(from.c_str(), "rb");
    if (!in) return false;
    char buf[1 << 15];
    bool ok = true;
    std::size_t n;
    while (ok && (n = std::fread(buf, 1, sizeof buf, in)) > 0) ok = std::fwrite(buf, 1, n, to) == n;
    ok = ok && !std::ferror(in);
    std::fclose(in);
    return std::fflush(to) == 0 && ok;
}

}  // namespace

void forEachTemporary(void (*fn)(const char* path)) {
    for (TemporarySlot& t : g_temporaries)
        if (t.state.load() == 2) fn(t.path);
}

bool sameFile(const std::string& a, const std::string& b) {
    if (a == "-" || b == "-") return a == b;
    std::error_code ec;
    if (fs::exists(a, ec) && fs::exists(b, ec)) {
        bool same = fs::equivalent(a, b, ec);
        if (!ec) return same;
    }
    return resolved(a) == resolved(b);
}

bool OutputFile::begin(const std::string& path, std::string& error) {
    abandon();
    path_ = path;
    std::error_code ec;
    if (path == "-") {
        out_ = stdout;
        out_owned_ = false;
    } else {
        target_ = resolved(path);
        const fs::file_status st = fs::status(target_, ec);
        if (fs::is_directory(st)) {
            error = path + " is a directory";
            return false;
        }
        if (fs::exists(st) && !fs::is_regular_file(st)) {
            // A device or a FIFO: appended to, which neither truncates nor replaces it.
            out_ = std::fopen(target_.c_str(), "ab");
            if (!out_) {
                error = "cannot write " + path + ": " + std::strerror(errno);
                return false;
            }
            out_owned_ = true;
        } else {
            const fs::path dir = fs::path(target_).parent_path();
            if (!fs::is_directory(dir, ec)) {
                error = "cannot write " + path + ": no directory " + fs::path(path).parent_path().string();
                return false;
            }
            work_file_ = makeTemporary(target_, work_, slot_);
            if (!work_file_) {
                error = "cannot write " + path + ": " + std::strerror(errno);
                return false;
            }
            // The replacement keeps the permissions of what it replaces.
            if (fs::exists(st)) fs::permissions(work_, st.permissions(), ec);
            mode_ = Mode::Replace;
            return true;
        }
    }
    mode_ = Mode::Stream;
    // Whole-file writers write beside the system's temporary files; the bytes
    // are copied into the stream at commit.
    work_file_ = makeTemporary(fs::temp_directory_path(ec) / "zohost-output", work_, slot_);
    if (!work_file_) {
        error = "cannot make a temporary file for " + path + ": " + std::strerror(errno);
        abandon();
        return false;
    }
    return true;
}

const std::string& OutputFile::workPath() {
    if (work_file_) std::fclose(work_file_);
    work_file_ = nullptr;
    return work_;
}

std::FILE* OutputFile::stream() {
    if (mode_ == Mode::Stream) return out_;
    return work_file_;
}

bool OutputFile::commit(std::string& error) {
    if (mode_ == Mode::None) return true;
    bool ok = true;
    if (work_file_) {
        ok = std::fclose(work_file_) == 0;
        work_file_ = nullptr;
    }
    if (mode_ == Mode::Replace) {
        std::error_code ec;
        if (ok) fs::rename(work_, target_, ec);
        if (!ok || ec) {
            error = "cannot write " + path_ + (ec ? ": " + ec.message() : std::string());
            abandon();
            return false;
        }
        work_.clear();
        unregisterTemporary(slot_);
        mode_ = Mode::None;
        return true;
    }
    // Stream: a line writer wrote straight into it; a whole-file writer's
    // bytes are in the temporary file when it is not empty.
    std::error_code ec;
    if (ok && fs::file_size(work_, ec) > 0) ok = copyInto(work_, out_);
    ok = std::fflush(out_) == 0 && !std::ferror(out_) && ok;
    if (!ok) error = "cannot write " + path_ + ": " + std::strerror(errno);
    abandon();
    return ok;
}

void OutputFile::abandon() {
    if (work_file_) std::fclose(work_file_);
    work_file_ = nullptr;
    if (!work_.empty()) {
        std::error_code ec;
        fs::remove(work_, ec);  // the temporary file zohost made, nothing else
        work_.clear();
        unregisterTemporary(slot_);
    }
    if (out_ && out_owned_) std::fclose(out_);
    out_ = nullptr;
    out_owned_ = false;
    mode_ = Mode::None;
}

}  // namespace zohost::tool
