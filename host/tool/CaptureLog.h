// One JSON line per "data" message: when it was sent, the capture's
// settings, and both channels' samples.
//
// {"capture":1,"clock":512,"size":100,"rate":44100,"time":5,"y_scale":1,
//  "x_y_mode":0,"trigger":1,"active":[true,true],"a":[...],"b":[...]}
//
// "clock" is the host's sample clock at the start of the processing call in
// which the capture was sent. Samples are written in the shortest form that
// reads back to the same 32-bit float; a value that is not finite, or
// samples the host did not copy, are written as null.
#pragma once

#include <cstdio>
#include <string>

#include "ScopeCaptures.h"

namespace zohost::tool {

class CaptureLog {
public:
    CaptureLog() = default;
    ~CaptureLog();
    CaptureLog(const CaptureLog&) = delete;
    CaptureLog& operator=(const CaptureLog&) = delete;

    // False with `error` set when the file cannot be created.
    bool open(const std::string& path, std::string& error);
    // `number` counts captures from 1.
    void write(const Capture& capture, std::size_t number);
    // False with `error` set when anything could not be written.
    bool close(std::string& error);

private:
    void put(const char* s);
    void putFloat(float v);
    void putSamples(const Capture& c, int channel);

    std::FILE* file_ = nullptr;
    std::string path_;
    std::string line_;
};

}  // namespace zohost::tool
