#include "Harness.h"

#include <algorithm>
#include <cfenv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "Generators.h"
#include "scopedata.h"

#if defined(__x86_64__) || defined(__i386__)
#include <xmmintrin.h>
#endif

namespace zohost::validate {


std::string num(double v) {
    if (std::isnan(v)) return "NaN";
    if (std::isinf(v)) return v > 0 ? "inf" : "-inf";
    char b[48];
    std::snprintf(b, sizeof b, "%.9g", v);
    return b;
}

// ---------------------------------------------------------------- signals

const std::vector<Wave>& allWaves() {
    static const std::vector<Wave> w = {Wave::Silence, Wave::DcPlus,  Wave::DcMinus,  Wave::Sine,
                                        Wave::Square,  Wave::Noise,   Wave::NaN,      Wave::PlusInf,
                                        Wave::MinusInf, Wave::Denormal, Wave::PlusHuge, Wave::MinusHuge};
    return w;
}

const char* waveName(Wave w) {
    switch (w) {
    case Wave::Silence: return "silence";
    case Wave::DcPlus: return "dc+0.5";
    case Wave::DcMinus: return "dc-0.5";
    case Wave::Sine: return "sine";
    case Wave::Square: return "square";
    case Wave::Noise: return "noise";
    case Wave::NaN: return "NaN";
    case Wave::PlusInf: return "+inf";
    case Wave::MinusInf: return "-inf";
    case Wave::Denormal: return "denormal";
    case Wave::PlusHuge: return "+1e30";
    case Wave::MinusHuge: return "-1e30";
    }
    return "?";
}

float waveAt(Wave w, std::uint64_t clock, std::uint64_t seed, double period) {
    const double phase = gen::periodPhase(clock, period);
    switch (w) {
    case Wave::Silence: return 0.0f;
    case Wave::DcPlus: return 0.5f;
    case Wave::DcMinus: return -0.5f;
    case Wave::Sine: return static_cast<float>(gen::shapeValue(gen::Shape::Sine, phase));
    case Wave::Square: return 0.8f * static_cast<float>(gen::shapeValue(gen::Shape::Square, phase));
    case Wave::Noise: return gen::noiseAt(clock, seed);
    case Wave::NaN: return std::numeric_limits<float>::quiet_NaN();
    case Wave::PlusInf: return std::numeric_limits<float>::infinity();
    case Wave::MinusInf: return -std::numeric_limits<float>::infinity();
    case Wave::Denormal: return (phase < 0.5 ? 1.0f : -1.0f) * 3.0e-39f * static_cast<float>(1 + clock % 7);
    case Wave::PlusHuge: return 1e30f;
    case Wave::MinusHuge: return -1e30f;
    }
    return 0.0f;
}

Signal waveSignal(Wave w, std::uint64_t seed, double period) {
    return Signal::generator([w, seed, period](std::uint64_t first, float* out, int count) {
        for (int i = 0; i < count; ++i) out[i] = waveAt(w, first + static_cast<std::uint64_t>(i), seed, period);
    });
}

// ---------------------------------------------------------------- module

int pinOf(const Instance& in, const char* name) { return in.pinTable().find(name); }

bool isList(const Instance& in, int position) {
    const PinDescription* d = in.pinTable().descriptionAt(position);
    return d && d->data_type == DT_ENUM && d->direction != DR_OUT;
}

bool isSampleInput(const Instance& in, int position) {
    const PinDescription* d = in.pinTable().descriptionAt(position);
    return d && d->data_type == DT_FSAMPLE && d->direction != DR_OUT;
}

bool needsDisplay(TestContext& t) {
    t.library();
    if (moduleMakesDisplay()) return true;
    t.skip("the module makes no display object");
    return false;
}

InstanceOptions quietOptions(float rate, int block) {
    InstanceOptions o;
    o.sample_rate = rate;
    o.block_size = block;
    o.log_requests = false;
    o.display = moduleMakesDisplay();
    o.messages.delivery = Delivery::Immediate;
    o.messages.record = false;
    return o;
}

InstanceOptions recordingOptions(float rate, int block) {
    InstanceOptions o;
    o.sample_rate = rate;
    o.block_size = block;
    o.log_requests = false;
    o.display = moduleMakesDisplay();
    o.messages.delivery = Delivery::Immediate;
    o.messages.record = true;
    o.messages.record_limit = 1u << 20;
    return o;
}

InstanceOptions displayOnly() {
    InstanceOptions o = recordingOptions();
    o.audio = false;
    return o;
}

// ---------------------------------------------------------------- captures

namespace {

std::uint32_t bitsOf(float f) {
    std::uint32_t u;
    std::memcpy(&u, &f, 4);
    return u;
}

bool sameBits(float a, float b) { return bitsOf(a) == bitsOf(b); }

// A setting stored from an input: the product may be formed in float or in
// double precision, so the last place may differ.
bool closeTo(float got, float want) {
    return std::fabs(static_cast<double>(got) - static_cast<double>(want)) <=
           1e-6 * std::fmax(1.0, std::fabs(static_cast<double>(want)));
}

// The settings of a record as words, so that NaN settings compare too.
std::vector<std::uint32_t> headerOf(const T_SCOPE& s) {
    return {static_cast<std::uint32_t>(s.Channel_Active[0]),
            static_cast<std::uint32_t>(s.Channel_Active[1]),
            static_cast<std::uint32_t>(s.ScopeSize),
            bitsOf(s.Rate),
            bitsOf(s.Time),
            bitsOf(s.Y_Scale),
            static_cast<std::uint32_t>(static_cast<std::uint16_t>(s.X_Y_Mode)),
            static_cast<std::uint32_t>(static_cast<std::uint16_t>(s.Trigger))};
}

float clampVolts(double v) {
    const double x = static_cast<double>(static_cast<float>(v)) * 10.0;
    if (x < 0) return 0.0f;
    if (x > 10) return 10.0f;
    return static_cast<float>(x);
}

}  // namespace

bool CaptureCopy::sameAs(const CaptureCopy& o) const {
    if (size != o.size || header != o.header || samples.size() != o.samples.size()) return false;
    return samples.empty() || std::memcmp(samples.data(), o.samples.data(), samples.size() * sizeof(float)) == 0;
}

std::vector<CaptureCopy> copyCaptures(const ScopeInstance& in) {
    std::vector<CaptureCopy> out;
    for (const Capture* r : in.captures()) {
        CaptureCopy c;
        c.size = r->scope.ScopeSize;
        c.header = headerOf(r->scope);
        c.samples = r->samples;
        c.clock = r->clock;
        out.push_back(std::move(c));
    }
    return out;
}

std::string firstDifference(const std::vector<CaptureCopy>& a, const std::vector<CaptureCopy>& b) {
    const std::size_t n = a.size() < b.size() ? a.size() : b.size();
    for (std::size_t i = 0; i < n; ++i) {
        if (a[i].sameAs(b[i])) continue;
        std::string s = "capture " + std::to_string(i + 1) + " differs";
        if (a[i].size != b[i].size)
            s += " (length " + std::to_string(a[i].size) + " vs " + std::to_string(b[i].size) + ")";
        else if (a[i].header != b[i].header)
            s += " (settings)";
        else
            for (std::size_t k = 0; k < a[i].samples.size(); ++k)
                if (!sameBits(a[i].samples[k], b[i].samples[k])) {
                    s += " (sample " + std::to_string(k) + ": " + num(a[i].samples[k]) + " vs " +
                         num(b[i].samples[k]) + ")";
                    break;
                }
        return s;
    }
    if (a.size() != b.size())
        return std::to_string(a.size()) + " captures vs " + std::to_string(b.size());
    return std::string();
}

namespace {

// The settings a capture carries, against what the run set.
void checkSettings(TestContext& t, const T_SCOPE& s, const CaptureExpectations& e, const std::string& at) {
    if (e.check_rate)
        t.check(sameBits(s.Rate, e.rate) || (std::isnan(s.Rate) && std::isnan(e.rate)),
                at + ": rate " + num(s.Rate) + ", host's " + num(e.rate));
    if (e.check_trigger)
        t.check(s.Trigger == e.trigger,
                at + ": Trigger " + std::to_string(s.Trigger) + ", set " + std::to_string(e.trigger));
    if (e.check_trigger && e.trigger != 4)
        t.check(s.ScopeSize <= SCOPE_MAX_TIMED_SIZE,
                at + ": length " + std::to_string(s.ScopeSize) + " over " + std::to_string(SCOPE_MAX_TIMED_SIZE) +
                    " outside the external trigger");
    t.check(!(s.Time < 0.0f) && !(s.Time > 10.0f), at + ": Time " + num(s.Time) + " outside 0..10");
    t.check(!(s.Y_Scale < 0.0f) && !(s.Y_Scale > 10.0f), at + ": Y_Scale " + num(s.Y_Scale) + " outside 0..10");
    if (std::isfinite(e.time_input) || std::isinf(e.time_input))
        t.check(closeTo(s.Time, clampVolts(e.time_input)),
                at + ": Time " + num(s.Time) + " from input " + num(e.time_input));
    if (std::isfinite(e.y_input) || std::isinf(e.y_input))
        t.check(closeTo(s.Y_Scale, clampVolts(e.y_input)),
                at + ": Y_Scale " + num(s.Y_Scale) + " from input " + num(e.y_input));
    for (int ch = 0; ch < 2; ++ch)
        t.check(s.Channel_Active[ch] == e.active[ch],
                at + ": channel " + std::to_string(ch) + (s.Channel_Active[ch] ? " active" : " inactive") +
                    ", input " + (e.active[ch] ? "connected" : "not connected"));
}

// Each channel's samples: zero when inactive, else a run of its input.
void checkSamples(TestContext& t, const Capture& c, std::uint64_t sent_clock, const CaptureExpectations& e,
                  const std::string& at) {
    const T_SCOPE& s = c.scope;
    if (c.samples_dropped || c.samples.size() != 2 * static_cast<std::size_t>(s.ScopeSize)) return;
    const std::size_t n = static_cast<std::size_t>(s.ScopeSize);
    for (int ch = 0; ch < 2; ++ch) {
        const float* got = c.samples.data() + static_cast<std::size_t>(ch) * n;
        if (!s.Channel_Active[ch]) {
            for (std::size_t i = 0; i < n; ++i)
                if (!t.check(bitsOf(got[i]) == 0, at + ": inactive channel " + std::to_string(ch) + " holds " +
                                                    num(got[i]) + " at " + std::to_string(i)))
                    break;
            continue;
        }
        const Feed* f = e.feeds[ch];
        if (!f) continue;
        // The capture's last sample lies in the processing call that sent
        // it, or just before it: search the starts that allows.
        const std::int64_t lo = static_cast<std::int64_t>(sent_clock) - static_cast<std::int64_t>(n) - 1;
        const std::int64_t hi = static_cast<std::int64_t>(sent_clock) + e.max_part - static_cast<std::int64_t>(n);
        const bool found = findRunStart(got, n, *f, lo, hi) >= 0;
        t.check(found, at + ": channel " + std::to_string(ch) + " (" + waveName(f->wave) +
                           ") is not a run of its input ending near clock " + std::to_string(sent_clock));
    }
}

}  // namespace

int checkCaptures(TestContext& t, const ScopeInstance& in, const CaptureExpectations& e, const std::string& where) {
    return checkCaptures(t, in.messages().records(), in.captures(), e, where);
}

int checkCaptures(TestContext& t, const std::vector<MessageRecord>& records, const std::vector<const Capture*>& caps,
                  const CaptureExpectations& e, const std::string& where) {
    // What another module's messages carry is its own business.
    if (!t.scope()) return 0;
    int seen = 0;
    const std::int32_t limit = e.growth_allowed ? SCOPE_MAX_SIZE : SCOPE_MAX_TIMED_SIZE;
    std::size_t next = 0;
    for (std::size_t slot = 0; slot < records.size(); ++slot) {
        const MessageRecord& r = records[slot];
        if (r.direction != Direction::ToDisplay) continue;
        if (r.code != zo_message::data) {
            t.fail(where + ": the audio side sent message code " + std::to_string(r.code) + ", not \"data\"");
            continue;
        }
        ++seen;
        const std::string at = where + ", capture " + std::to_string(seen);
        if (!t.check(r.size == static_cast<zolong>(sizeof(T_SCOPE)),
                     at + ": size " + std::to_string(r.size) + ", not the record's " +
                         std::to_string(sizeof(T_SCOPE))))
            continue;
        if (!t.check(r.ptr != nullptr, at + ": null payload")) continue;
        while (next < caps.size() && caps[next]->slot < slot) ++next;
        if (!t.check(next < caps.size() && caps[next]->slot == slot, at + ": not copied")) continue;
        const Capture& c = *caps[next];
        if (!t.check(c.scope.ScopeSize >= 1 && c.scope.ScopeSize <= limit,
                     at + ": length " + std::to_string(c.scope.ScopeSize) + " outside 1.." + std::to_string(limit)))
            continue;
        t.check(!c.samples_dropped || c.scope.ScopeSize > (1 << 22), at + ": samples not readable");
        checkSettings(t, c.scope, e, at);
        checkSamples(t, c, r.clock, e, at);
    }
    return seen;
}

std::int64_t findRunStart(const float* got, std::size_t n, const Feed& f, std::int64_t lo, std::int64_t hi) {
    for (std::int64_t start = lo < 0 ? 0 : lo; start <= hi; ++start) {
        std::size_t i = 0;
        while (i < n && sameBits(got[i], f.at(static_cast<std::uint64_t>(start) + i))) ++i;
        if (i == n) return start;
    }
    return -1;
}

void checkOneOutstanding(TestContext& t, const Instance& in, const std::string& where) {
    // Points in time as (sample clock, order): a message delivered at once
    // happens in sending order; one delivered between blocks comes before
    // everything sent in the block that follows.
    typedef std::pair<std::uint64_t, double> Point;
    std::vector<Point> acks, data;
    const auto& records = in.messages().records();
    for (std::size_t i = 0; i < records.size(); ++i) {
        const MessageRecord& r = records[i];
        const double order = static_cast<double>(i);
        if (r.direction == Direction::ToDisplay && r.code == zo_message::data) {
            data.emplace_back(r.clock, order);
            if (r.fate == Fate::SelfAcked) acks.emplace_back(r.clock, order + 0.5);
        } else if (r.direction == Direction::ToAudio && r.code == zo_message::ack && r.delivered) {
            acks.emplace_back(r.delivered_clock, r.fate == Fate::Delivered ? order : -1.0);
        }
    }
    std::sort(acks.begin(), acks.end());
    for (std::size_t k = 1; k < data.size(); ++k) {
        const auto a = std::upper_bound(acks.begin(), acks.end(), data[k - 1]);
        if (!t.check(a != acks.end() && *a < data[k],
                     where + ": \"data\" " + std::to_string(k + 1) + " sent before \"data\" " + std::to_string(k) +
                         " was acknowledged"))
            return;
    }
}

// ---------------------------------------------------------------- runs

std::string Scenario::text() const {
    std::string s = "rate " + num(rate) + ", block " + std::to_string(block);
    if (trigger != kLeave) s += ", Trigger " + std::to_string(trigger);
    if (time_mode != kLeave) s += std::string(", ") + pins::kTimeMode + " " + std::to_string(time_mode);
    if (xy_mode != kLeave) s += std::string(", ") + pins::kXYMode + " " + std::to_string(xy_mode);
    if (has_time) s += ", Time " + num(time);
    if (has_y) s += std::string(", ") + pins::kYScale + " " + num(y);
    if (connect_a) s += std::string(", A ") + waveName(a.wave);
    if (connect_b) s += std::string(", B ") + waveName(b.wave);
    if (connect_ext) s += std::string(", EXT ") + waveName(ext.wave);
    return s;
}

InstanceOptions scenarioOptions(const Scenario& s) { return recordingOptions(s.rate, s.block); }

void applyScenario(Instance& in, const Scenario& s) {
    auto setList = [&](const char* name, int v) {
        const int p = pinOf(in, name);
        if (p >= 0 && v != Scenario::kLeave && isList(in, p)) in.setValue(p, v);
    };
    auto setWave = [&](const char* name, bool on, const Feed& f) {
        const int p = pinOf(in, name);
        if (p >= 0 && on && isSampleInput(in, p)) in.setSignal(p, waveSignal(f.wave, f.seed, f.period));
    };
    auto setConstant = [&](const char* name, bool on, double v) {
        const int p = pinOf(in, name);
        if (p >= 0 && on && isSampleInput(in, p)) in.setSignal(p, Signal::constant(static_cast<float>(v)));
    };
    setList(pins::kTrigger, s.trigger);
    setList(pins::kTimeMode, s.time_mode);
    setList(pins::kXYMode, s.xy_mode);
    setWave(pins::kSignalA, s.connect_a, s.a);
    setWave(pins::kSignalB, s.connect_b, s.b);
    setWave(pins::kExtTrigger, s.connect_ext, s.ext);
    setConstant(pins::kTime, s.has_time, s.time);
    setConstant(pins::kYScale, s.has_y, s.y);
    // Another module: the scenario's first wave on every sample input it
    // describes, each with a seed of its own.
    if (pinOf(in, pins::kSignalA) >= 0) return;
    for (int p = 0; p < in.pinCount(); ++p)
        if (isSampleInput(in, p))
            in.setSignal(p, waveSignal(s.a.wave, s.a.seed + static_cast<std::uint64_t>(p), s.a.period));
}

CaptureExpectations scenarioExpectations(const Instance& in, const Scenario& s) {
    CaptureExpectations e;
    e.rate = s.rate;
    e.active[0] = s.connect_a && pinOf(in, pins::kSignalA) >= 0;
    e.active[1] = s.connect_b && pinOf(in, pins::kSignalB) >= 0;
    e.feeds[0] = e.active[0] ? &s.a : nullptr;
    e.feeds[1] = e.active[1] ? &s.b : nullptr;
    e.max_part = s.block;
    const bool has_trigger = pinOf(in, pins::kTrigger) >= 0;
    e.check_trigger = has_trigger && s.trigger != Scenario::kLeave;
    e.trigger = static_cast<std::int16_t>(s.trigger);
    e.growth_allowed = !e.check_trigger || e.trigger == 4;
    if (s.has_time && pinOf(in, pins::kTime) >= 0) e.time_input = s.time;
    if (s.has_y && pinOf(in, pins::kYScale) >= 0) e.y_input = s.y;
    return e;
}

std::vector<CaptureCopy> runScenario(const ModuleLibrary& lib, const Scenario& s, std::uint64_t samples,
                                     const BlockSplitter* splitter) {
    ScopeInstance in(lib, scenarioOptions(s));
    applyScenario(in, s);
    if (splitter) in.setSplitter(*splitter);
    in.run(samples);
    return copyCaptures(in);
}

std::vector<CaptureCopy> runOutputs(const ModuleLibrary& lib, const Scenario& s, std::uint64_t samples,
                                    const BlockSplitter* splitter) {
    Instance in(lib, quietOptions(s.rate, s.block));
    applyScenario(in, s);
    std::vector<int> outputs;
    for (int p = 0; p < in.pinCount(); ++p) {
        const PinDescription* d = in.pinTable().descriptionAt(p);
        if (d && d->data_type == DT_FSAMPLE && d->direction == DR_OUT && in.buffer(p)) outputs.push_back(p);
    }
    if (splitter) in.setSplitter(*splitter);
    std::vector<CaptureCopy> out(outputs.size());
    for (std::uint64_t done = 0; done < samples;) {
        const int n = static_cast<int>(std::min<std::uint64_t>(static_cast<std::uint64_t>(s.block), samples - done));
        in.processBlock(n);
        for (std::size_t k = 0; k < outputs.size(); ++k) {
            const float* b = in.buffer(outputs[k]);
            out[k].samples.insert(out[k].samples.end(), b, b + n);
        }
        done += static_cast<std::uint64_t>(n);
    }
    for (CaptureCopy& c : out) c.size = static_cast<std::int32_t>(c.samples.size());
    return out;
}

std::string firstNotFinite(const std::vector<CaptureCopy>& outputs) {
    for (std::size_t k = 0; k < outputs.size(); ++k) {
        const std::vector<float>& v = outputs[k].samples;
        for (std::size_t i = 0; i < v.size(); ++i) {
            const int c = std::fpclassify(v[i]);
            if (c == FP_NORMAL || c == FP_ZERO) continue;
            char b[96];
            std::snprintf(b, sizeof b, "output stream %zu, sample %zu: %s (%g)", k + 1, i,
                          c == FP_NAN ? "NaN" : c == FP_INFINITE ? "infinite" : "subnormal", static_cast<double>(v[i]));
            return b;
        }
    }
    return {};
}

// ---------------------------------------------------------------- state

FpControl FpControl::now() {
    FpControl f;
    f.rounding = std::fegetround();
#if defined(__x86_64__) || defined(__i386__)
    f.sse = _mm_getcsr() & ~0x3Fu;  // without the sticky status flags
    unsigned short cw = 0;
    __asm__ __volatile__("fnstcw %0" : "=m"(cw));
    f.x87 = cw;
#endif
    return f;
}

std::string FpControl::text() const {
    char b[80];
    std::snprintf(b, sizeof b, "rounding %d, MXCSR 0x%04X, x87 0x%04X", rounding, sse, x87);
    return b;
}

void PaintCheck::before(const Canvas& c) {
    live_before = liveDrawingObjects();
    pen = currentObject(c.dc(), OBJ_PEN);
    font = currentObject(c.dc(), OBJ_FONT);
}

void PaintCheck::after(TestContext& t, const Canvas& c, const std::string& where) const {
    const long live = liveDrawingObjects();
    t.check(live == live_before, where + ": " + std::to_string(live - live_before) +
                                     " pen(s) or brush(es) left undeleted by paint");
    t.check(currentObject(c.dc(), OBJ_PEN) == pen, where + ": paint left another pen selected");
    t.check(currentObject(c.dc(), OBJ_FONT) == font, where + ": paint left another font selected");
}

void paintChecked(TestContext& t, Instance& in, Canvas& canvas, int width, int height, const std::string& where) {
    PaintCheck pc;
    pc.before(canvas);
    const FpControl fp = FpControl::now();
    const zolong answer = in.paint(canvas.dc(), width, height);
    t.check(answer == 0, where + ": paint answered " + std::to_string(answer) + ", not 0");
    const FpControl fp_after = FpControl::now();
    t.check(fp == fp_after, where + ": paint changed the floating-point control state (" + fp.text() +
                                " -> " + fp_after.text() + ")");
    pc.after(t, canvas, where);
}

}  // namespace zohost::validate
