// One JSON line per "data" message: when it was sent, the capture's
// settings, and both channels' samples.
//
// {"capture":1,"clock":512,"size":100,"rate":44100,"time":5,"y_scale":1,
//  "x_y_mode":0,"trigger":1,"active":[true,true],"a":[...],"b":[...]}
//
// "clock" is the host's sample clock at the start of the processing call in
// which the capture was sent. Every level is in volts: "time" and "y_scale"
// as the record holds them, samples as 10 times the pin value, written in
// the shortest form that reads back to the same number (a tenth of it is the
// 32-bit sample again); a value that is not finite, or samples the host did
// not copy, are written as null. Each line is written whole.
#pragma once

#include <cstdio>
#include <string>

#include "ScopeCaptures.h"

namespace zohost::tool {

class CaptureLog {
public:
    CaptureLog() = default;
    CaptureLog(const CaptureLog&) = delete;
    CaptureLog& operator=(const CaptureLog&) = delete;

    // Lines go to `file`, which stays the caller's; null: nowhere.
    void attach(std::FILE* file) { file_ = file; }
    // `number` counts captures from 1. The one place that reads a capture
    // out of the host's message records.
    void write(const Capture& capture, std::size_t number);
    // False when a line could not be written.
    bool good() const { return good_; }

private:
    void put(const char* s);
    void putFloat(float v);
    void putVolts(float pin_value);
    void putSamples(const Capture& r, int channel);

    std::FILE* file_ = nullptr;
    bool good_ = true;
    std::string line_;
};

}  // namespace zohost::tool
