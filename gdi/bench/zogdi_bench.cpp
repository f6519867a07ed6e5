// The display's load: one paint draws both channels of a 44100-sample
// capture as joined line segments on a 1920 x 1080 canvas, 88198 LineTo
// calls in all; the goal is under 4 ms per paint.
#include "zogdi.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <vector>

namespace {

constexpr int kW = 1920, kH = 1080, kN = 44100;

struct Trace {
    std::vector<POINT> a, b;
};

// Points as the time display computes them: x from a running integer sum,
// y = cy - trunc(sample * k), with k putting 1.0 at the top edge.
Trace makeTrace(double freqA, double freqB, double amplitude, double noise) {
    Trace t;
    const int wt = kW - 8, cy = kH / 2;
    const float k = float(kH) / 2.0f;
    uint64_t seed = 12345;
    auto rnd = [&seed] {
        seed = seed * 6364136223846793005ull + 1442695040888963407ull;
        return double(seed >> 11) / double(1ull << 53) * 2.0 - 1.0;
    };
    int64_t sum = 0;
    for (int n = 0; n < kN; ++n, sum += wt) {
        const int x = int(sum / (kN - 1)) + 4;
        const double s = 2 * M_PI * n / 44100.0;
        const float va = float(amplitude * std::sin(freqA * s) + noise * rnd());
        const float vb = float(amplitude * std::sin(freqB * s) + noise * rnd());
        t.a.push_back({x, cy - int(va * k)});
        t.b.push_back({x, cy - int(vb * k)});
    }
    return t;
}

void paint(HDC dc, const Trace& t) {
    for (const std::vector<POINT>* ch : {&t.a, &t.b}) {
        HPEN pen = CreatePen(PS_SOLID, 1, RGB(0, 250, 250));
        HGDIOBJ old = SelectObject(dc, pen);
        MoveToEx(dc, (*ch)[0].x, (*ch)[0].y, nullptr);
        for (size_t n = 1; n < ch->size(); ++n)
            LineTo(dc, (*ch)[n].x, (*ch)[n].y);
        SelectObject(dc, old);
        DeleteObject(pen);
    }
}

void runPaint(benchmark::State& state, const Trace& t) {
    HDC dc = ZoGdiCreateCanvasDC(kW, kH, RGB(0, 0, 0));
    for (auto _ : state) {
        paint(dc, t);
        benchmark::ClobberMemory();
    }
    state.counters["segments"] = double(2 * (kN - 1));
    ZoGdiDeleteDC(dc);
}

// Sines of a few periods per capture, at 80% of the half height: the
// ordinary picture.
void BM_PaintSines(benchmark::State& state) {
    const Trace t = makeTrace(double(state.range(0)), 1.5 * double(state.range(0)), 0.8, 0.0);
    runPaint(state, t);
}
BENCHMARK(BM_PaintSines)->Arg(50)->Arg(440)->Arg(2000)->Unit(benchmark::kMillisecond);

// Values far beyond the window (the Y scale turned up): most segments lie
// wholly outside, and each crossing is a steep line over the full height.
// Those crossings cost one cache line per row; Arg is the magnification.
void BM_PaintMagnified(benchmark::State& state) {
    const Trace t = makeTrace(440, 660, 0.8 * double(state.range(0)), 0.0);
    runPaint(state, t);
}
BENCHMARK(BM_PaintMagnified)->Arg(10)->Arg(100)->Unit(benchmark::kMillisecond);

// Full-height noise: every segment spans hundreds of pixels. A worst case
// bounded by pixel writes, not a goal.
void BM_PaintNoise(benchmark::State& state) {
    const Trace t = makeTrace(440, 660, 0.0, 1.0);
    runPaint(state, t);
}
BENCHMARK(BM_PaintNoise)->Unit(benchmark::kMillisecond);

void BM_LineAcrossTheInt32Range(benchmark::State& state) {
    HDC dc = ZoGdiCreateCanvasDC(kW, kH, RGB(0, 0, 0));
    for (auto _ : state) {
        MoveToEx(dc, -2000000000, 5, nullptr);
        LineTo(dc, 2000000000, 700);
    }
    ZoGdiDeleteDC(dc);
}
BENCHMARK(BM_LineAcrossTheInt32Range);

void BM_FillCanvas(benchmark::State& state) {
    HDC dc = ZoGdiCreateCanvasDC(kW, kH, RGB(0, 0, 0));
    HBRUSH brush = CreateSolidBrush(RGB(20, 20, 20));
    const RECT r = {0, 0, kW - 1, kH - 1};
    for (auto _ : state)
        FillRect(dc, &r, brush);
    DeleteObject(brush);
    ZoGdiDeleteDC(dc);
}
BENCHMARK(BM_FillCanvas)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
