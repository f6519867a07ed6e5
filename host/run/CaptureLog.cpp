#include "run/CaptureLog.h"

#include <charconv>
#include <cmath>

namespace zohost::tool {

void CaptureLog::put(const char* s) { line_ += s; }

void CaptureLog::putFloat(float v) {
    if (!std::isfinite(v)) {
        line_ += "null";
        return;
    }
    char buf[32];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    line_.append(buf, r.ptr);
}

void CaptureLog::putVolts(float pin_value) {
    if (!std::isfinite(pin_value)) {
        line_ += "null";
        return;
    }
    // Exact in double: a float's 24 bits times ten fit in 53.
    char buf[40];
    auto r = std::to_chars(buf, buf + sizeof buf, 10.0 * static_cast<double>(pin_value));
    line_.append(buf, r.ptr);
}

void CaptureLog::putSamples(const Capture& r, int channel) {
    const std::int32_t n = r.scope.ScopeSize;
    if (r.samples_dropped || n < 0 || r.samples.size() != 2 * static_cast<std::size_t>(n)) {
        line_ += "null";
        return;
    }
    line_ += '[';
    for (std::int32_t i = 0; i < n; ++i) {
        if (i) line_ += ',';
        putVolts(r.samples[static_cast<std::size_t>(channel) * static_cast<std::size_t>(n) +
                           static_cast<std::size_t>(i)]);
    }
    line_ += ']';
}

void CaptureLog::write(const Capture& r, std::size_t number) {
    if (!file_) return;
    const T_SCOPE& s = r.scope;
    line_.clear();
    line_ += "{\"capture\":" + std::to_string(number);
    line_ += ",\"clock\":" + std::to_string(r.clock);
    line_ += ",\"size\":" + std::to_string(s.ScopeSize);
    put(",\"rate\":");
    putFloat(s.Rate);
    put(",\"time\":");
    putFloat(s.Time);
    put(",\"y_scale\":");
    putFloat(s.Y_Scale);
    line_ += ",\"x_y_mode\":" + std::to_string(s.X_Y_Mode);
    line_ += ",\"trigger\":" + std::to_string(s.Trigger);
    put(",\"active\":[");
    put(s.Channel_Active[0] ? "true," : "false,");
    put(s.Channel_Active[1] ? "true]" : "false]");
    put(",\"a\":");
    putSamples(r, 0);
    put(",\"b\":");
    putSamples(r, 1);
    put("}\n");
    if (std::fwrite(line_.data(), 1, line_.size(), file_) != line_.size()) good_ = false;
}

}  // namespace zohost::tool
