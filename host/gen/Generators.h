// The waveforms zohost, the validator and the benchmarks feed a module:
// periodic shapes, noise, and signals that fill a block with them.
#pragma once

#include <cstdint>
#include <vector>

#include "zohost/Signal.h"

namespace zohost::gen {

// Every shape crosses zero rising at phase 0, like a sine, and spans -1..1.
enum class Shape { Sine, Square, Saw, Triangle };

// Each shape by the word zohost's sources call it ("sine:440"), in the order
// the help lists them.
struct NamedShape {
    const char* word;
    Shape shape;
};
const std::vector<NamedShape>& namedShapes();
// The word of `shape`; "?" for none.
const char* shapeWord(Shape shape);

// The shape at `phase` in [0, 1), with the library's sine.
double shapeValue(Shape shape, double phase);
// The same with the sine from a table, within 3e-8 of the library's.
float shapeFast(Shape shape, double phase);

// The phase in [0, 1) of a wave of `hz` at `clock` of a run at `rate`; a
// function of the clock alone, exact for whole frequencies and rates.
double phaseAt(double hz, double rate, std::uint64_t clock);
// The phase at `clock` of a wave whose period is `period` samples.
double periodPhase(std::uint64_t clock, double period);

// amplitude * shapeFast(phaseAt(...)): one sample of what periodicSignal fills.
float periodicSample(Shape shape, double hz, float amplitude, double rate, std::uint64_t clock);
// Fills blocks with exactly the samples periodicSample gives, faster.
Signal periodicSignal(Shape shape, double hz, float amplitude, double rate);

// Uniform noise in [-amplitude, amplitude): a stream that depends on `seed`
// and on how many samples came before, not on the clock.
Signal noiseSignal(float amplitude, std::uint64_t seed);
// Uniform noise in [-1, 1) as a function of the clock and the seed alone,
// so that a sample can be found again from its clock.
float noiseAt(std::uint64_t clock, std::uint64_t seed);

}  // namespace zohost::gen
