// Reads back one line of zohost's capture log: a JSON object of numbers,
// booleans, null and arrays of them. Enough JSON for that, strictly parsed.
#pragma once

#include <cstdlib>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace zotest {

struct Json {
    enum class Type { Null, Bool, Number, Array, Object } type = Type::Null;
    bool boolean = false;
    double number = 0.0;
    float single = 0.0f;  // the same text read as a 32-bit float
    std::vector<Json> items;
    std::map<std::string, Json> fields;

    const Json& operator[](const std::string& key) const {
        auto it = fields.find(key);
        if (it == fields.end()) throw std::out_of_range("no field " + key);
        return it->second;
    }
    bool has(const std::string& key) const { return fields.count(key) != 0; }
    std::vector<float> floats() const {
        std::vector<float> out;
        for (const Json& j : items) out.push_back(j.single);
        return out;
    }
    // Levels written in volts, back as the pin values (a tenth) they were.
    std::vector<float> pinValues() const {
        std::vector<float> out;
        for (const Json& j : items) out.push_back(static_cast<float>(j.number / 10.0));
        return out;
    }
};

class JsonReader {
public:
    static Json parse(const std::string& text) {
        JsonReader r(text);
        Json j = r.value();
        r.space();
        if (r.at_ != text.size()) r.fail("text after the value");
        return j;
    }

private:
    explicit JsonReader(const std::string& t) : t_(t) {}
    [[noreturn]] void fail(const char* what) const {
        throw std::runtime_error(std::string(what) + " at " + std::to_string(at_));
    }
    void space() {
        while (at_ < t_.size() && (t_[at_] == ' ' || t_[at_] == '\n')) ++at_;
    }
    bool take(const char* word) {
        std::string w(word);
        if (t_.compare(at_, w.size(), w) != 0) return false;
        at_ += w.size();
        return true;
    }
    std::string key() {
        if (t_[at_] != '"') fail("expected a key");
        std::size_t end = t_.find('"', at_ + 1);
        if (end == std::string::npos) fail("unterminated key");
        std::string k = t_.substr(at_ + 1, end - at_ - 1);
        at_ = end + 1;
        return k;
    }
    Json value() {
        space();
        if (at_ >= t_.size()) fail("expected a value");
        Json j;
        const char c = t_[at_];
        if (take("null")) return j;
        if (take("true") || take("false")) {
            j.type = Json::Type::Bool;
            j.boolean = c == 't';
            return j;
        }
        if (c == '[' || c == '{') {
            const bool object = c == '{';
            j.type = object ? Json::Type::Object : Json::Type::Array;
            ++at_;
            space();
            if (at_ < t_.size() && t_[at_] == (object ? '}' : ']')) {
                ++at_;
                return j;
            }
            for (;;) {
                space();
                if (object) {
                    std::string k = key();
                    space();
                    if (!take(":")) fail("expected ':'");
                    j.fields[k] = value();
                } else {
                    j.items.push_back(value());
                }
                space();
                if (take(",")) continue;
                if (take(object ? "}" : "]")) return j;
                fail("expected ',' or the end");
            }
        }
        const char* s = t_.c_str() + at_;
        char* end = nullptr;
        j.number = std::strtod(s, &end);
        if (end == s) fail("expected a number");
        j.type = Json::Type::Number;
        j.single = std::strtof(s, nullptr);
        at_ += static_cast<std::size_t>(end - s);
        return j;
    }

    const std::string& t_;
    std::size_t at_ = 0;
};

}  // namespace zotest
