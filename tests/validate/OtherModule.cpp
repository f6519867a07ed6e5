// A small module unlike the scope, for the validator's generic battery: one
// input stream, one output stream and an integer gain, written on the raw
// records. Built twice: without a display object, and (OTHER_MUTE_DISPLAY)
// with a display that paints nothing and never answers a message. With
// ZO_FAULT set it carries one fault, the negative control of a generic
// detector: "split" skips the first sample of each processing call, "nan" and
// "subnormal" write such a sample after 40 processing calls, "slowsubnormal"
// spends a long time on each subnormal input sample, "crashint" dereferences
// null when the gain is the most negative integer (as a table indexed by its
// magnitude would).
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

#include "ZOHostTypes.h"

#ifdef _WIN32
#define OTHER_EXPORT extern "C" __declspec(dllexport)
#else
#define OTHER_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

struct Info {
    std::int32_t word0, word1;
    const void* sub_process;
    std::int32_t word3;
};
Info g_info = {zo_info::word0, zo_info::word1, nullptr, zo_info::word3};

struct Audio {
    ZOMod_struct_base2 record;
    float* in = nullptr;
    float* out = nullptr;
    std::int32_t gain = 2;
    long calls = 0;
};

enum Pin { kIn, kOut, kGain, kPins };

enum Fault { kNone, kSplit, kNaN, kSubnormal, kSlowSubnormal, kCrashInt, kFaults };

Fault fault() {
    static const Fault f = [] {
        const char* e = std::getenv("ZO_FAULT");
        const char* const names[kFaults] = {"", "split", "nan", "subnormal", "slowsubnormal", "crashint"};
        for (int k = 1; e && k < kFaults; ++k)
            if (std::strcmp(e, names[k]) == 0) return static_cast<Fault>(k);
        return kNone;
    }();
    return f;
}

// Dependent steps the optimiser cannot drop: the cost of a slow path.
float slowly(float x) {
    volatile float v = x;
    for (int k = 0; k < 400; ++k) v = v * 0.999f;
    return v;
}

void process(void* object, zolong offset, zolong count) {
    Audio* a = static_cast<Audio*>(object);
    if (!a->in || !a->out) return;
    if (fault() == kCrashInt && a->gain == INT32_MIN) *static_cast<volatile int*>(nullptr) = 1;
    for (zolong i = offset + (fault() == kSplit && count > 0 ? 1 : 0); i < offset + count; ++i) {
        const float x = a->in[i];
        a->out[i] = (fault() == kSlowSubnormal && std::fpclassify(x) == FP_SUBNORMAL ? slowly(x) : x) *
                    static_cast<float>(a->gain);
    }
    if (count > 0 && ++a->calls > 40) {
        if (fault() == kNaN) a->out[offset] = std::nanf("");
        if (fault() == kSubnormal) a->out[offset] = 1e-40f;
    }
}

void onEvent(void*, ZoEvent*) {}

zolong audioDispatcher(ZOMod_struct_base2* record, zolong opcode, zolong index, zolong, void* ptr, float) {
    Audio* a = static_cast<Audio*>(record->object);
    switch (opcode) {
    case zo_audio_op::close:
        delete a;
        return 1;
    case zo_audio_op::pin_properties: {
        if (index < 0 || index >= kPins || !ptr) return 0;
        ZOPinProperties* p = static_cast<ZOPinProperties*>(ptr);
        static const char* const names[kPins] = {"In", "Out", "Gain"};
        p->name = names[index];
        p->direction = index == kIn ? DR_IN : index == kOut ? DR_OUT : DR_PARAMETER;
        p->data_type = index == kGain ? DT_INT : DT_FSAMPLE;
        p->variable_address = index == kIn ? static_cast<void*>(&a->in)
                              : index == kOut ? static_cast<void*>(&a->out)
                                              : static_cast<void*>(&a->gain);
        p->default_value = index == kGain ? "2" : index == kIn ? "0" : nullptr;
        return 1;
    }
    case zo_audio_op::info:
        g_info.sub_process = a;
        return reinterpret_cast<zolong>(&g_info);
    default:
        return 0;
    }
}

#ifdef OTHER_MUTE_DISPLAY
struct Display {
    ZOGUI_struct_base record;
};

zolong displayDispatcher(ZOGUI_struct_base* record, zolong opcode, zolong, zolong, void*, float) {
    if (opcode == zo_gui_op::close) {
        delete static_cast<Display*>(record->object);
        return 1;
    }
    return 0;
}
#endif

}  // namespace

OTHER_EXPORT int getModuleProperties(zolong index, ZOModuleProperties* p) {
    p->sdk_version = ZO_SDK_VERSION;
    if (index != 0) return 0;
    p->name = "Gain";
    p->id = "Validator test gain";
    p->about = "multiplies its input by an integer";
    p->flags = 0;
    p->gui_flags = 0;
    return 1;
}

OTHER_EXPORT void* makeModule(zolong index, zolong type, ZOHostCallback, void* host_data) {
    if (index != 0) return nullptr;
    if (type == zo_object::audio) {
        Audio* a = new (std::nothrow) Audio();
        if (!a) return nullptr;
        a->record.magic = ZO_MAGIC_AUDIO;
        a->record.version = 1;
        a->record.host_data = host_data;
        a->record.object = a;
        a->record.dispatcher = &audioDispatcher;
        a->record.process = &process;
        a->record.event_handler = &onEvent;
        return &a->record;
    }
#ifdef OTHER_MUTE_DISPLAY
    if (type == zo_object::gui) {
        Display* d = new (std::nothrow) Display();
        if (!d) return nullptr;
        d->record.magic = ZO_MAGIC_GUI;
        d->record.version = 1;
        d->record.host_data = host_data;
        d->record.object = d;
        d->record.dispatcher = &displayDispatcher;
        return &d->record;
    }
#endif
    return nullptr;
}
