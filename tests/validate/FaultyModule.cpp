// The real scope with one fault injected at its boundary, for the negative
// controls of zohost --validate: each detector must fail on its fault. The
// fault is named by the environment variable ZO_FAULT; without one the
// module is the scope itself behind a pass-through, and must pass.
//
// The wrapper sits between host and objects: it replaces the records' entry
// words with its own, and gives the objects a host callback of its own.
#ifdef _WIN32
// The lock a Windows module takes: kernel32's, through its import table.
#include <windows.h>
#else
#include <pthread.h>
#endif

#include <atomic>
#include <cfenv>
#include <chrono>
#include <thread>
#include <cstdlib>
#include <cstring>
#include <new>

#include "GuiModule.h"
#include "Module.h"
#include "ZOHostTypes.h"
#include "scopedata.h"

#define FAULTY_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

enum Fault {
    kNone,
    kAlloc,     // heap call in every processing call
    kLock,      // mutex lock in every processing call
    kHang,      // paint of a one-pixel-wide window never returns
    kCrash,     // a message without payload dereferences null
    kScribble,  // writes the first input's buffer just past the processed range
    kFpEnv,     // leaves the rounding mode toward zero after processing
    kProps,     // getModuleProperties at other indexes writes the name too
    kPin6,      // pin_properties for an undescribed index clears the first word
    kSplit,     // skips the first sample of every processing call
    kCapSize,   // "data" claims one byte more than the record
    kCapLen,    // "data" carries a capture of no samples
    kGdiLeak,   // paint leaves a pen undeleted
    kSpam,      // "data" sent twice
    kNoAck,     // the display never acknowledges
    kReply,     // the display answers unknown messages
    kInfo,      // info answers a record of each object's own
    kUnknownOp, // unknown audio opcodes answer 1
    kAbort7,    // forbidden_7 aborts without a contract report
    kLeak,      // every display object leaks a little memory
    kShortLen,  // "data" claims one sample less than captured
    kBusyWrite, // writes into the capture before its acknowledgement
    kWideAudio, // the audio dispatcher reads only the opcode's low 32 bits
    kWideGui,   // the display dispatcher reads only the opcode's low 32 bits
    kCtxPast,   // the display reads 16 bytes of the 12-byte window record
    kCtxUnsigned, // request 10's index is the context word widened unsigned
    kDisplayWrite, // the display writes the samples of the capture it is handed
    kCrossThread,  // processing sends an "ack" in the display object's name
    kWaitAudio,    // the display's "data" waits for the audio side's next block
};

struct Named {
    const char* name;
    Fault fault;
};
const Named kFaults[] = {{"alloc", kAlloc},      {"lock", kLock},         {"hang", kHang},     {"crash", kCrash},
                         {"scribble", kScribble}, {"fpenv", kFpEnv},      {"props", kProps},   {"pin6", kPin6},
                         {"split", kSplit},      {"capsize", kCapSize},  {"caplen", kCapLen}, {"gdileak", kGdiLeak},
                         {"spam", kSpam},        {"noack", kNoAck},       {"reply", kReply},   {"info", kInfo},
                         {"unknownop", kUnknownOp}, {"abort7", kAbort7},   {"leak", kLeak},
                         {"shortlen", kShortLen}, {"busywrite", kBusyWrite}, {"wideaudio", kWideAudio},
                         {"widegui", kWideGui},   {"ctxpast", kCtxPast},   {"ctxunsigned", kCtxUnsigned},
                         {"displaywrite", kDisplayWrite}, {"crossthread", kCrossThread}, {"waitaudio", kWaitAudio}};

Fault fault() {
    static const Fault f = [] {
        const char* e = std::getenv("ZO_FAULT");
        if (e)
            for (const Named& n : kFaults)
                if (std::strcmp(e, n.name) == 0) return n.fault;
        return kNone;
    }();
    return f;
}

struct AudioSlot {
    void* object;
    ZOMod_struct_base2* record;
    zo_process_word real;
    zolong capacity;
    ZoModuleInfo info;
};

const int kSlots = 256;
AudioSlot g_slots[kSlots];
ZOHostCallback g_host = nullptr;
zo_audio_dispatcher g_audio_dispatcher = nullptr;
zo_gui_dispatcher g_gui_dispatcher = nullptr;
#ifdef _WIN32
CRITICAL_SECTION g_mutex;
const bool g_mutex_made = (InitializeCriticalSection(&g_mutex), true);
#else
pthread_mutex_t g_mutex = PTHREAD_MUTEX_INITIALIZER;
#endif
void* volatile g_sink = nullptr;
T_SCOPE* g_unacknowledged = nullptr;  // the capture sent last, until its "ack"
ZOGUI_struct_base* volatile g_gui_record = nullptr;  // the display made last
std::atomic<long> g_process_calls{0};

AudioSlot* slotOf(const void* object) {
    for (AudioSlot& s : g_slots)
        if (s.object == object) return &s;
    return nullptr;
}

void faultyProcess(void* object, zolong offset, zolong count) {
    AudioSlot* s = slotOf(object);
    if (!s || !s->real) return;
    switch (fault()) {
    case kAlloc:
        g_sink = std::malloc(64);
        std::free(g_sink);
        break;
    case kLock:
#ifdef _WIN32
        if (g_mutex_made) EnterCriticalSection(&g_mutex);
        LeaveCriticalSection(&g_mutex);
#else
        pthread_mutex_lock(&g_mutex);
        pthread_mutex_unlock(&g_mutex);
#endif
        break;
    case kScribble:
        if (g_host && offset + count < s->capacity) {
            auto* b = reinterpret_cast<float*>(g_host(s->record, zo_request::pin_buffer, 0, 0, nullptr, 0.0f));
            if (b) b[offset + count] = 0.125f;
        }
        break;
    case kSplit:
        if (count > 1) {
            ++offset;
            --count;
        }
        break;
    default: break;
    }
    ++g_process_calls;
    if (fault() == kCrossThread && g_gui_record && g_process_calls % 64 == 0)
        g_host(g_gui_record, zo_request::gui_send_to_audio, 0, SCOPE_MSG_ACK, nullptr, 0.0f);
    if (fault() == kBusyWrite && g_unacknowledged && g_unacknowledged->Samples && g_unacknowledged->ScopeSize > 0)
        g_unacknowledged->Samples[0] += 1.0f;
    s->real(object, offset, count);
    if (fault() == kFpEnv) std::fesetround(FE_TOWARDZERO);
}

zolong faultyHost(void* record, zolong opcode, zolong index, zolong value, void* ptr, float opt) {
    if (!g_host) return 0;
    std::int32_t magic;
    std::memcpy(&magic, record, 4);
    if (magic == ZO_MAGIC_AUDIO) {
        auto* r = static_cast<ZOMod_struct_base2*>(record);
        if (opcode == zo_request::process_changed) {
            if (AudioSlot* s = slotOf(r->object)) {
                s->real = r->process;
                r->process = &faultyProcess;
            }
        }
        if (opcode == zo_request::send_to_gui && static_cast<std::int32_t>(value) == SCOPE_MSG_DATA) {
            if (fault() == kCapSize) ++index;
            if (fault() == kShortLen && ptr) {
                static T_SCOPE shorter;
                std::memcpy(&shorter, ptr, sizeof shorter);
                if (shorter.ScopeSize > 1) --shorter.ScopeSize;
                ptr = &shorter;
            }
            if (fault() == kCapLen && ptr) {
                static T_SCOPE empty;
                std::memcpy(&empty, ptr, sizeof empty);
                empty.ScopeSize = 0;
                empty.Samples = nullptr;
                ptr = &empty;
            }
            if (fault() == kSpam) g_host(record, opcode, index, value, ptr, opt);
            if (fault() == kBusyWrite) g_unacknowledged = static_cast<T_SCOPE*>(ptr);
        }
    } else if (magic == ZO_MAGIC_GUI) {
        if (opcode == zo_request::gui_send_to_audio && fault() == kNoAck) return 0;
        if (opcode == zo_request::gui_font && fault() == kCtxUnsigned)
            index = static_cast<zolong>(static_cast<std::uint32_t>(index));
    }
    return g_host(record, opcode, index, value, ptr, opt);
}

zolong faultyAudioDispatcher(ZOMod_struct_base2* record, zolong opcode, zolong index, zolong value, void* ptr,
                             float opt) {
    void* object = record->object;
    AudioSlot* s = slotOf(object);
    if (fault() == kWideAudio) opcode = static_cast<std::int32_t>(opcode);
    switch (opcode) {
    case zo_audio_op::close: {
        const zolong r = g_audio_dispatcher(record, opcode, index, value, ptr, opt);
        if (s) *s = AudioSlot{};
        return r;
    }
    case zo_audio_op::set_block_size:
        if (s) s->capacity = value;
        break;
    case zo_audio_op::gui_notify:
        if (static_cast<std::int32_t>(value) == SCOPE_MSG_ACK) g_unacknowledged = nullptr;
        break;
    case zo_audio_op::pin_properties:
        if (fault() == kPin6) {
            const zolong r = g_audio_dispatcher(record, opcode, index, value, ptr, opt);
            if (r == 0 && ptr) std::memset(ptr, 0, 4);
            return r;
        }
        break;
    case zo_audio_op::forbidden_7:
        if (fault() == kAbort7) std::abort();
        break;
    case zo_audio_op::info:
        if (fault() == kInfo && s) {
            const zolong r = g_audio_dispatcher(record, opcode, index, value, ptr, opt);
            std::memcpy(&s->info, reinterpret_cast<const void*>(r), sizeof s->info);
            return reinterpret_cast<zolong>(&s->info);
        }
        break;
    default:
        if (fault() == kUnknownOp && (opcode >= zo_audio_op::count || opcode < 0)) return 1;
        break;
    }
    return g_audio_dispatcher(record, opcode, index, value, ptr, opt);
}

zolong faultyGuiDispatcher(ZOGUI_struct_base* record, zolong opcode, zolong index, zolong value, void* ptr,
                           float opt) {
    if (fault() == kWideGui) opcode = static_cast<std::int32_t>(opcode);
    if (opcode == zo_gui_op::paint && fault() == kCtxPast && ptr) {
        unsigned char wide[16];
        std::memcpy(wide, ptr, sizeof wide);
        g_sink = reinterpret_cast<void*>(static_cast<std::uintptr_t>(wide[15]));
    }
    if (opcode == zo_gui_op::paint && fault() == kHang && ptr && static_cast<ZOWndInfo*>(ptr)->width == 1)
        for (;;) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (opcode == zo_gui_op::module_msg && fault() == kCrash && !ptr) *static_cast<volatile int*>(nullptr) = 1;
    if (opcode == zo_gui_op::module_msg && static_cast<std::int32_t>(value) == SCOPE_MSG_DATA && ptr &&
        index == static_cast<zolong>(sizeof(T_SCOPE))) {
        T_SCOPE* s = static_cast<T_SCOPE*>(ptr);
        if (fault() == kDisplayWrite && s->Samples && s->ScopeSize > 0) s->Samples[0] = s->Samples[0] * -2.0f + 0.25f;
        // Given up after a while, so that a host that never runs the next
        // block meanwhile sees a hang, not an endless one.
        const long seen = g_process_calls;
        for (int i = 0; fault() == kWaitAudio && g_process_calls == seen && i < 2000; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (opcode == zo_gui_op::module_msg && fault() == kReply && static_cast<std::int32_t>(value) != SCOPE_MSG_DATA && g_host)
        g_host(record, zo_request::gui_send_to_audio, 0, SCOPE_MSG_ACK, nullptr, 0.0f);
    const zolong r = g_gui_dispatcher(record, opcode, index, value, ptr, opt);
    if (opcode == zo_gui_op::paint && fault() == kGdiLeak) CreatePen(0, 1, 0);
    return r;
}

// The block's address goes nowhere: lost when this frame is.
__attribute__((noinline)) void leakSome() {
    void* volatile p = std::malloc(48);
    static_cast<char*>(p)[0] = 1;
}

}  // namespace

FAULTY_EXPORT int getModuleProperties(zolong index, ZOModuleProperties* properties) {
    if (!properties) return 0;
    properties->sdk_version = ZO_SDK_VERSION;
    if (index != zo_object::library_index) {
        if (fault() == kProps) properties->name = "faulty";
        return 0;
    }
    Module::getModuleProperties(properties);
    return 1;
}

FAULTY_EXPORT void* makeModule(zolong index, zolong type, ZOHostCallback callback, void* host_data) {
    if (index != zo_object::library_index || !callback) return nullptr;
    g_host = callback;
    try {
        if (type == zo_object::audio) {
            AudioSlot* s = slotOf(nullptr);
            if (!s) return nullptr;
            Module* m = new Module(&faultyHost, host_data);
            ZOMod_struct_base2* r = m->getRecord();
            *s = AudioSlot{};
            s->object = r->object;
            s->record = r;
            s->real = r->process;
            s->capacity = 1024;
            r->process = &faultyProcess;
            g_audio_dispatcher = r->dispatcher;
            r->dispatcher = &faultyAudioDispatcher;
            return r;
        }
        if (type == zo_object::gui) {
            if (fault() == kLeak) leakSome();
            GuiModule* g = new GuiModule(&faultyHost, host_data);
            ZOGUI_struct_base* r = g->getRecord();
            g_gui_record = r;
            g_gui_dispatcher = r->dispatcher;
            r->dispatcher = &faultyGuiDispatcher;
            return r;
        }
    } catch (const std::bad_alloc&) {
    }
    return nullptr;
}
