#include "run/InputSource.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <vector>

#include "Generators.h"
#include "run/Units.h"

namespace zohost::tool {

namespace {

std::vector<std::string> splitColons(const std::string& text) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        std::size_t colon = text.find(':', start);
        parts.push_back(text.substr(start, colon == std::string::npos ? colon : colon - start));
        if (colon == std::string::npos) return parts;
        start = colon + 1;
    }
}

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

double number(const std::string& text, const char* what, const std::string& source) {
    const char* s = text.c_str();
    char* end = nullptr;
    double v = std::strtod(s, &end);
    if (text.empty() || end != s + text.size() || std::isspace(static_cast<unsigned char>(text[0])) ||
        !std::isfinite(v))
        throw std::invalid_argument("bad " + std::string(what) + " \"" + text + "\" in source \"" +
                                    source + "\"");
    return v;
}

// Volts ("5V") or a pin value ("0.5").
double level(const std::string& text, const char* what, const std::string& source) {
    try {
        return parsePinValue(text, what);
    } catch (const std::invalid_argument&) {
        throw std::invalid_argument("bad " + std::string(what) + " \"" + text + "\" in source \"" + source +
                                    "\" (volts like 5V, or a pin value like 0.5)");
    }
}

}  // namespace

namespace {

using Parts = std::vector<std::string>;

void arity(const Parts& parts, const std::string& text, std::size_t least, std::size_t most, const std::string& form) {
    if (parts.size() < least || parts.size() > most)
        throw std::invalid_argument("source \"" + text + "\" should be " + form);
}

InputSource periodicSource(gen::Shape shape, const Parts& parts, const std::string& text) {
    arity(parts, text, 2, 3, lower(parts[0]) + ":HZ[:AMP]");
    InputSource s;
    s.kind = SourceKind::Periodic;
    s.shape = shape;
    try {
        s.hz = parseFrequency(parts[1], "frequency");
    } catch (const std::invalid_argument&) {
        throw std::invalid_argument("bad frequency \"" + parts[1] + "\" in source \"" + text +
                                    "\" (hertz like 440, 440Hz or 1.5kHz)");
    }
    if (s.hz <= 0.0) throw std::invalid_argument("frequency must be above 0 in source \"" + text + "\"");
    s.amplitude = parts.size() > 2 ? level(parts[2], "amplitude", text) : kDefaultAmplitude;
    return s;
}

InputSource noiseSource(SourceKind, const Parts& parts, const std::string& text) {
    arity(parts, text, 1, 2, "noise[:AMP]");
    InputSource s;
    s.kind = SourceKind::Noise;
    s.amplitude = parts.size() > 1 ? level(parts[1], "amplitude", text) : kDefaultAmplitude;
    return s;
}

InputSource dcSource(SourceKind, const Parts& parts, const std::string& text) {
    arity(parts, text, 2, 2, "dc:VALUE");
    InputSource s;
    s.kind = SourceKind::Dc;
    s.amplitude = level(parts[1], "value", text);
    return s;
}

InputSource fileSource(SourceKind, const Parts& parts, const std::string& text) {
    if (parts.size() < 2 || text.size() <= 5)
        throw std::invalid_argument("source \"" + text + "\" should be file:PATH[:CHANNEL]");
    InputSource s;
    s.kind = SourceKind::File;
    s.path = text.substr(5);
    // A last part of digits is the channel; paths may hold colons.
    const std::size_t colon = s.path.rfind(':');
    if (colon != std::string::npos && colon + 1 < s.path.size() &&
        s.path.find_first_not_of("0123456789", colon + 1) == std::string::npos) {
        const std::string digits = s.path.substr(colon + 1);
        s.path.resize(colon);
        if (digits.size() > 4 || std::atoi(digits.c_str()) < 1)
            throw std::invalid_argument("channel \"" + digits + "\" in source \"" + text + "\" must be 1 or more");
        s.channel = std::atoi(digits.c_str());
    }
    if (s.path.empty()) throw std::invalid_argument("source \"" + text + "\" names no file");
    return s;
}

InputSource inputSource(SourceKind, const Parts& parts, const std::string& text) {
    arity(parts, text, 2, 2, "input:CHANNEL");
    InputSource s;
    s.kind = SourceKind::Input;
    const double c = number(parts[1], "channel", text);
    if (c < 1.0 || c > 64.0 || c != std::floor(c))
        throw std::invalid_argument("channel \"" + parts[1] + "\" in source \"" + text + "\" must be 1..64");
    s.channel = static_cast<int>(c);
    return s;
}

InputSource offSource(SourceKind, const Parts& parts, const std::string& text) {
    arity(parts, text, 1, 1, "off");
    return InputSource{};
}

struct KindParser {
    const char* word;
    SourceKind kind;
    InputSource (*parse)(SourceKind, const Parts&, const std::string&);
};

// The periodic kinds come first, one per generator shape.
const KindParser kKinds[] = {
    {"noise", SourceKind::Noise, noiseSource},
    {"dc", SourceKind::Dc, dcSource},
    {"file", SourceKind::File, fileSource},
    {"input", SourceKind::Input, inputSource},
    {"off", SourceKind::Off, offSource},
};

}  // namespace

InputSource parseSource(const std::string& text) {
    const Parts parts = splitColons(text);
    const std::string kind = lower(parts[0]);
    for (const gen::NamedShape& n : gen::namedShapes())
        if (kind == n.word) return periodicSource(n.shape, parts, text);
    for (const KindParser& k : kKinds)
        if (kind == k.word) return k.parse(k.kind, parts, text);
    throw std::invalid_argument("unknown source \"" + text + "\"; use " + sourceWords());
}

std::string sourceWords() {
    std::vector<std::string> words;
    for (const gen::NamedShape& n : gen::namedShapes()) words.push_back(n.word);
    for (const KindParser& k : kKinds) words.push_back(k.word);
    std::string text = words.front();
    for (std::size_t i = 1; i < words.size(); ++i) text += (i + 1 < words.size() ? ", " : " or ") + words[i];
    return text;
}

const char* kindName(const InputSource& s) {
    if (s.kind == SourceKind::Periodic) return gen::shapeWord(s.shape);
    for (const KindParser& k : kKinds)
        if (k.kind == s.kind) return k.word;
    return "?";
}

std::string describeSource(const InputSource& s) {
    char buf[96];
    switch (s.kind) {
    case SourceKind::Off:
        return "not connected";
    case SourceKind::Noise:
        std::snprintf(buf, sizeof buf, "noise, amplitude %g V", s.amplitude * 10.0);
        return buf;
    case SourceKind::Dc:
        std::snprintf(buf, sizeof buf, "constant %g V", s.amplitude * 10.0);
        return buf;
    case SourceKind::File:
        return "channel " + std::to_string(s.channel) + " of " + (s.path == "-" ? "standard input" : s.path);
    case SourceKind::Input:
        return "channel " + std::to_string(s.channel) + " of the capture device";
    default:
        std::snprintf(buf, sizeof buf, "%g Hz %s, amplitude %g V", s.hz, kindName(s), s.amplitude * 10.0);
        return buf;
    }
}

float waveSample(const InputSource& s, double rate, std::uint64_t clock) {
    if (s.kind == SourceKind::Dc) return static_cast<float>(s.amplitude);
    if (s.kind != SourceKind::Periodic) return 0.0f;
    return gen::periodicSample(s.shape, s.hz, static_cast<float>(s.amplitude), rate, clock);
}

Signal makeSignal(const InputSource& source, double rate, std::uint64_t seed) {
    if (source.kind == SourceKind::Dc) return Signal::constant(static_cast<float>(source.amplitude));
    if (source.kind == SourceKind::Noise) return gen::noiseSignal(static_cast<float>(source.amplitude), seed);
    if (source.kind != SourceKind::Periodic)
        throw std::invalid_argument("no generated signal for a source of kind " + std::string(kindName(source)));
    return gen::periodicSignal(source.shape, source.hz, static_cast<float>(source.amplitude), rate);
}

}  // namespace zohost::tool
