// --captures: one JSON line per capture, written as it comes.
#include "run/CaptureLog.h"
#include "run/OutputFile.h"
#include "tool/Outputs.h"

namespace zohost::tool {

namespace {

class CaptureLogOutput : public Output {
public:
    explicit CaptureLogOutput(std::string path) : path_(std::move(path)) {}

    unsigned needs() const override { return kCaptures; }

    bool begin(Instance&, std::string& error) override {
        if (!file_.begin(path_, error)) return false;
        log_.attach(file_.stream());
        return true;
    }

    bool capture(const Capture& c, std::size_t number, std::string&) override {
        log_.write(c, number);
        return true;
    }

    bool finish(std::string& error) override {
        if (log_.good()) return true;
        error = "cannot write " + path_;
        return false;
    }

    bool commit(std::string& error) override { return file_.commit(error); }

    std::string written() const override {
        return "captures written to " + (path_ == "-" ? std::string("standard output") : path_);
    }

private:
    std::string path_;
    OutputFile file_;
    CaptureLog log_;
};

}  // namespace

std::unique_ptr<Output> makeCaptureLogOutput(const RenderJob& job, std::string&) {
    return std::make_unique<CaptureLogOutput>(job.captures);
}

}  // namespace zohost::tool
