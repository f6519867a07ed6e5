// A minimal module for testing the host on its own: two kinds of objects with
// hand-laid records, behaviour chosen through the control block, and a log
// of every call the host makes into it.
#include <cstring>
#include <new>

#include "FakeControl.h"
#include "ZOHostTypes.h"
#include "scopedata.h"

#ifdef _WIN32
#define FAKE_EXPORT extern "C" __declspec(dllexport)
#else
#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

FakeControl g_control;

struct FakeAudio {
    ZOMod_struct_base2 record;
    ZOHostCallback callback;
    std::int32_t serial;
    std::int32_t process_calls;
    float* streams[4];
    std::int16_t list16;
    std::int8_t value8;
    std::int32_t value32;
    T_SCOPE scope;
    float scope_samples[2 * 64];
    float junk[4096];  // where spoiled variables point
};

struct FakeGui {
    ZOGUI_struct_base record;
    ZOHostCallback callback;
    std::int32_t serial;
};

FakeCall* newCall(std::int32_t kind, std::int32_t serial) {
    if (g_control.call_count >= FAKE_MAX_CALLS) return nullptr;
    FakeCall* c = &g_control.calls[g_control.call_count++];
    std::memset(c, 0, sizeof *c);
    c->kind = kind;
    c->object = serial;
    return c;
}

zolong ask(FakeAudio* a, zolong opcode, zolong index = 0, zolong value = 0, void* ptr = nullptr) {
    return a->callback ? a->callback(&a->record, opcode, index, value, ptr, 0.0f) : 0;
}

zolong ask(FakeGui* g, zolong opcode, zolong index = 0, zolong value = 0, void* ptr = nullptr) {
    return g->callback ? g->callback(&g->record, opcode, index, value, ptr, 0.0f) : 0;
}

void copyBytes(FakeCall* c, const void* ptr, zolong size) {
    if (!ptr || size <= 0) return;
    std::memcpy(c->bytes, ptr, size < 16 ? static_cast<std::size_t>(size) : 16u);
}

// Bound variable of the description at `index`, the same each time.
void* variableFor(FakeAudio* a, int index) {
    const FakePin& p = g_control.pins[index];
    if (!p.bind) return nullptr;
    switch (p.data_type) {
    case DT_FSAMPLE: {
        int slot = 0;
        for (int i = 0; i < index; ++i)
            if (g_control.pins[i].bind && g_control.pins[i].data_type == DT_FSAMPLE) ++slot;
        return slot < 4 ? &a->streams[slot] : nullptr;
    }
    case DT_ENUM: return &a->list16;
    case DT_CHAR: return &a->value8;
    case DT_INT: return &a->value32;
    default: return nullptr;
    }
}

void recordProcess(FakeAudio* a, std::int32_t kind, zolong offset, zolong count) {
    FakeCall* c = newCall(kind, a->serial);
    if (!c) return;
    c->offset = offset;
    c->count = count;
    c->clock = static_cast<std::uint32_t>(ask(a, zo_request::sample_clock));
    for (int i = 0; i < 4; ++i) {
        c->bound[i] = a->streams[i];
        if (a->streams[i] && count > 0) c->first_sample[i] = a->streams[i][offset];
    }
    c->list16 = a->list16;
    c->value8 = a->value8;
    c->value32 = a->value32;
    for (int i = 0; i < 6; ++i) c->buffer7[i] = ask(a, zo_request::pin_buffer, i);
    c->buffer_clock = static_cast<std::uint32_t>(ask(a, zo_request::pin_buffer_clock, 0));
}

void processSecond(void* object, zolong offset, zolong count) {
    recordProcess(static_cast<FakeAudio*>(object), FK_PROCESS2, offset, count);
}

void processFirst(void* object, zolong offset, zolong count) {
    FakeAudio* a = static_cast<FakeAudio*>(object);
    std::int32_t call = a->process_calls++;
    recordProcess(a, FK_PROCESS, offset, count);
    std::uint32_t clock = static_cast<std::uint32_t>(ask(a, zo_request::sample_clock));
    for (int i = 0; i < g_control.in_process_count && i < FAKE_MAX_IN_PROCESS; ++i) {
        const FakeInProcess& q = g_control.in_process[i];
        if (q.at_call != call) continue;
        ZoEvent e(clock + static_cast<std::uint32_t>(q.delta), q.type, q.value1, 0, nullptr);
        ask(a, zo_request::add_event, 0, 0, &e);
        std::memset(&e, 0x5A, sizeof e);  // the host must have copied it
    }
    if (call == g_control.send_at_call) {
        int n = g_control.scope_size < 0 ? 0 : g_control.scope_size > 64 ? 64 : g_control.scope_size;
        a->scope.ScopeSize = n;
        a->scope.Samples = a->scope_samples;
        for (int i = 0; i < 2 * n; ++i) a->scope_samples[i] = static_cast<float>(call * 1000 + i);
        ask(a, zo_request::send_to_gui, sizeof(T_SCOPE), SCOPE_MSG_DATA, &a->scope);
        for (int i = 0; i < 2 * n; ++i) a->scope_samples[i] = -1.0f;
    }
    if (g_control.scribble)
        for (float*& s : a->streams) s = a->junk;
    if (g_control.switch_at_call > 0 && call + 1 == g_control.switch_at_call) {
        a->record.process = &processSecond;
        ask(a, zo_request::process_changed);
    }
}

void handleEvent(void* object, ZoEvent* e) {
    FakeAudio* a = static_cast<FakeAudio*>(object);
    FakeCall* c = newCall(FK_EVENT, a->serial);
    if (c) {
        c->event = *e;
        c->clock = static_cast<std::uint32_t>(ask(a, zo_request::sample_clock));
    }
    if (g_control.chain_type && e->type == g_control.chain_type && e->int_value2 > 0) {
        ZoEvent next(e->time_stamp, e->type, e->int_value1 + 1, e->int_value2 - 1, nullptr);
        ask(a, zo_request::add_event, 0, 0, &next);
    }
}

zolong audioDispatcher(ZOMod_struct_base2* record, zolong opcode, zolong index, zolong value,
                       void* ptr, float opt) {
    FakeAudio* a = static_cast<FakeAudio*>(record->object);
    FakeCall* c = newCall(FK_AUDIO_OP, a->serial);
    if (c) {
        c->opcode = opcode;
        c->index = index;
        c->value = value;
        c->ptr = ptr;
        c->opt = opt;
    }
    switch (opcode) {
    case zo_audio_op::open:
        if (c) {
            c->answers[0] = ask(a, zo_request::pin_count);
            for (int i = 0; i < 6; ++i) c->answers[1 + i] = ask(a, zo_request::pin_connected, i);
            c->clock = static_cast<std::uint32_t>(ask(a, zo_request::sample_clock));
        }
        return 0;
    case zo_audio_op::close:
        delete a;
        --g_control.objects_alive;
        return 1;
    case zo_audio_op::pin_properties: {
        ZOPinProperties* out = static_cast<ZOPinProperties*>(ptr);
        if (c) {
            // 1 when the host handed over a cleared record.
            static const ZOPinProperties zero = ZOPinProperties();
            c->answers[0] = out && std::memcmp(out, &zero, sizeof zero) == 0 ? 1 : 0;
        }
        if (!out || index < 0 || index >= g_control.pin_descriptions || index >= FAKE_MAX_PINS) return 0;
        const FakePin& p = g_control.pins[index];
        out->variable_address = variableFor(a, static_cast<int>(index));
        out->direction = p.direction;
        out->data_type = p.data_type;
        out->name = p.name;
        out->default_value = p.default_value[0] ? p.default_value : nullptr;
        out->list_text = p.list_text[0] ? p.list_text : nullptr;
        out->flags = p.flags;
        return 1;
    }
    case zo_audio_op::gui_notify:
        if (c) copyBytes(c, ptr, index);
        return 0;
    case zo_audio_op::info: {
        // The library's record, describing the object asked last.
        static struct {
            std::int32_t words[2];
            const void* object;
            std::int32_t word3;
        } info = {{zo_info::word0, zo_info::word1}, nullptr, zo_info::word3};
        info.object = a;
        return reinterpret_cast<zolong>(&info);
    }
    default:
        return 0;
    }
}

zolong guiDispatcher(ZOGUI_struct_base* record, zolong opcode, zolong index, zolong value,
                     void* ptr, float opt) {
    FakeGui* g = static_cast<FakeGui*>(record->object);
    FakeCall* c = newCall(FK_GUI_OP, g->serial);
    if (c) {
        c->opcode = opcode;
        c->index = index;
        c->value = value;
        c->ptr = ptr;
        c->opt = opt;
    }
    switch (opcode) {
    case zo_gui_op::close:
        delete g;
        --g_control.objects_alive;
        return 1;
    case zo_gui_op::paint: {
        const ZOWndInfo* w = static_cast<const ZOWndInfo*>(ptr);
        std::int32_t font[6];
        std::memset(font, 0xEE, sizeof font);
        zolong handle = ask(g, zo_request::gui_font, w ? w->context : 0,
                            reinterpret_cast<zolong>("tty"), font);
        if (c) {
            if (w) c->window = *w;
            std::memcpy(c->font_record, font, sizeof font);
            c->answers[0] = handle;
        }
        return 0;
    }
    case zo_gui_op::module_msg:
        if (c) copyBytes(c, ptr, index);
        if (g_control.gui_acks) ask(g, zo_request::gui_send_to_audio, 0, SCOPE_MSG_ACK, nullptr);
        if (g_control.gui_repaints) ask(g, zo_request::gui_repaint);
        return 0;
    default:
        return 0;
    }
}

}  // namespace

FAKE_EXPORT int getModuleProperties(zolong index, ZOModuleProperties* p) {
    p->sdk_version = ZO_SDK_VERSION;
    if (index != zo_object::library_index) return 0;
    p->name = "Fake";
    p->id = "Host test fake";
    p->about = "records what the host does";
    p->flags = 0x1;
    p->gui_flags = 0x2;
    return 1;
}

// The variant without the entry point exports the factory under another name.
#ifdef FAKE_NO_MAKE
#define FAKE_MAKE_NAME fakeMakeModule
#else
#define FAKE_MAKE_NAME makeModule
#endif

FAKE_EXPORT void* FAKE_MAKE_NAME(zolong index, zolong type, ZOHostCallback callback, void* host_data) {
    if (index != zo_object::library_index) return nullptr;
    if (type == zo_object::audio) {
        FakeAudio* a = new (std::nothrow) FakeAudio();
        if (!a) return nullptr;
        a->record.magic = ZO_MAGIC_AUDIO;
        a->record.version = 1;
        a->record.host_data = host_data;
        a->record.object = a;
        a->record.dispatcher = &audioDispatcher;
        a->record.process = &processFirst;
        a->record.event_handler = &handleEvent;
        a->callback = callback;
        a->serial = ++g_control.objects_made;
        ++g_control.objects_alive;
        return &a->record;
    }
    if (type == zo_object::gui) {
        FakeGui* g = new (std::nothrow) FakeGui();
        if (!g) return nullptr;
        g->record.magic = ZO_MAGIC_GUI;
        g->record.version = 1;
        g->record.host_data = host_data;
        g->record.object = g;
        g->record.dispatcher = &guiDispatcher;
        g->callback = callback;
        g->serial = ++g_control.objects_made;
        ++g_control.objects_alive;
        // A display may talk to the host while it is being made.
        ask(g, zo_request::gui_construct_3, zo_request::construct_3_index, zo_request::construct_3_value);
        return &g->record;
    }
    return nullptr;
}

FAKE_EXPORT FakeControl* fake_control() { return &g_control; }

FAKE_EXPORT zolong fake_request(void* record, zolong opcode, zolong index, zolong value, void* ptr,
                                float opt) {
    std::int32_t magic;
    std::memcpy(&magic, record, sizeof magic);
    if (magic == ZO_MAGIC_AUDIO) {
        FakeAudio* a = static_cast<FakeAudio*>(static_cast<ZOMod_struct_base2*>(record)->object);
        return a->callback(record, opcode, index, value, ptr, opt);
    }
    FakeGui* g = static_cast<FakeGui*>(static_cast<ZOGUI_struct_base*>(record)->object);
    return g->callback(record, opcode, index, value, ptr, opt);
}
