#include "zohost/Signal.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace zohost {

Signal Signal::constant(float value) {
    Signal s;
    s.kind_ = Kind::Constant;
    s.value_ = value;
    return s;
}

Signal Signal::generator(BlockFill fill) {
    Signal s;
    s.kind_ = Kind::Generator;
    s.fill_ = std::move(fill);
    return s;
}

Signal Signal::perSample(std::function<float(std::uint64_t)> sample) {
    return generator([sample = std::move(sample)](std::uint64_t first, float* out, int count) {
        for (int i = 0; i < count; ++i) out[i] = sample(first + static_cast<std::uint64_t>(i));
    });
}

Signal Signal::samples(std::vector<float> data, bool loop) {
    Signal s;
    s.kind_ = Kind::Samples;
    s.owned_ = std::move(data);
    s.size_ = s.owned_.size();
    s.loop_ = loop;
    return s;
}

Signal Signal::view(const float* data, std::size_t count, bool loop) {
    Signal s;
    s.kind_ = Kind::Samples;
    s.view_ = data;
    s.size_ = data ? count : 0;
    s.loop_ = loop;
    return s;
}

Signal Signal::manual() {
    Signal s;
    s.kind_ = Kind::Manual;
    return s;
}

void Signal::fill(std::uint64_t first_clock, float* out, int count, float idle) {
    if (count <= 0) return;
    std::size_t n = static_cast<std::size_t>(count);
    switch (kind_) {
    case Kind::None:
        std::fill(out, out + n, idle);
        break;
    case Kind::Constant:
        std::fill(out, out + n, value_);
        break;
    case Kind::Generator:
        if (fill_) fill_(first_clock, out, count);
        break;
    case Kind::Samples: {
        // The owned vector is looked up here, not kept as a pointer: Signals are copied.
        const float* data = owned_.empty() ? view_ : owned_.data();
        std::size_t done = 0;
        while (done < n) {
            if (cursor_ >= size_) {
                if (!loop_ || size_ == 0) break;
                cursor_ = 0;
            }
            std::size_t take = std::min(n - done, size_ - cursor_);
            std::memcpy(out + done, data + cursor_, take * sizeof(float));
            done += take;
            cursor_ += take;
        }
        std::fill(out + done, out + n, 0.0f);
        break;
    }
    case Kind::Manual:
        break;
    }
}

}  // namespace zohost
