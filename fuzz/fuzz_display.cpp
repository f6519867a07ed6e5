// The display object under a scripted host: opcodes, "data" messages with
// arbitrary records and sizes (whose samples always lie in memory this host
// owns, sized by the record, as a real sender's do), and paint with arbitrary
// windows, fonts and colours. Beyond crashes and undefined behaviour the host
// checks each message's effect (copy or reset, one ack, one repaint) and
// that paint leaves no pen or brush behind and restores the pen and font.
#include <cstdint>
#include <vector>

#include "FuzzSupport.h"
#include "GuiModule.h"
#include "ZOHostTypes.h"
#include "scopedata.h"
#include "zogdi.h"

extern "C" void* makeModule(zolong index, zolong type, ZOHostCallback callback, void* host_data);

namespace {

struct Host {
    ZOGUI_struct_base* record = nullptr;
    int repaints = 0;
    int acks = 0;
    int other_requests = 0;
    int font_requests = 0;
    int paints = 0;
    int messages = 0;
    std::int32_t text_colour = 0x00FFFFFF;
    std::int32_t background = 0;
    std::int32_t font_height = 12;
    HFONT font = nullptr;
};

HFONT fontOf(int choice) {
    // Made once: fonts are the host's and outlive every display.
    static HFONT fonts[3] = {ZoGdiCreateFont(8), ZoGdiCreateFont(12), ZoGdiCreateFont(31)};
    return choice < 3 ? fonts[choice] : nullptr;
}

zolong callback(void* record, zolong opcode, zolong index, zolong value, void* ptr, float) {
    Host& h = *static_cast<Host*>(static_cast<ZOGUI_struct_base*>(record)->host_data);
    switch (opcode) {
    case zo_request::gui_repaint: ++h.repaints; return 0;
    case zo_request::gui_send_to_audio:
        FUZZ_CHECK(static_cast<std::int32_t>(value) == SCOPE_MSG_ACK && index == 0 && ptr == nullptr);
        ++h.acks;
        return 0;
    case zo_request::gui_font: {
        ++h.font_requests;
        FUZZ_CHECK(ptr != nullptr);
        std::int32_t* words = static_cast<std::int32_t*>(ptr);
        std::memcpy(&words[zo_font::text_colour_word], &h.text_colour, 4);
        std::memcpy(&words[zo_font::background_word], &h.background, 4);
        std::memcpy(&words[zo_font::height_word], &h.font_height, 4);
        return reinterpret_cast<zolong>(h.font);
    }
    default: ++h.other_requests; return 0;
    }
}

const T_SCOPE& shown(const Host& h) {
    return static_cast<const GuiModule*>(static_cast<ZOGUI_base*>(h.record->object))->scope();
}

bool sameBits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

void checkDefaults(const T_SCOPE& s, std::int16_t volt_oktave) {
    FUZZ_CHECK(s.ScopeSize == 100 && s.Samples != nullptr);
    for (int i = 0; i < 200; ++i) FUZZ_CHECK(sameBits(s.Samples[i], 0.0f));
    FUZZ_CHECK(s.Rate == 44100.0f && s.Time == 5.0f && s.Y_Scale == 1.0f);
    FUZZ_CHECK(s.Trigger == 3 && s.X_Y_Mode == 0 && !s.Channel_Active[0] && !s.Channel_Active[1]);
    FUZZ_CHECK(s.Volt_Oktave == volt_oktave);
}

void message(Host& h, fuzz::Input& in) {
    T_SCOPE src;
    std::memset(&src, 0, sizeof src);
    std::int32_t n;
    switch (in.below(8)) {
    case 0: n = 0; break;
    case 1: n = 1; break;
    case 2: n = -static_cast<std::int32_t>(1 + in.below(100)); break;
    case 3: n = static_cast<std::int32_t>(in.below16(16384)); break;
    case 4: n = SCOPE_MAX_SIZE + 1 + static_cast<std::int32_t>(in.below(100)); break;
    case 5:
        n = in.i32();
        if (n > 16384 && n <= SCOPE_MAX_SIZE) n %= 16385;
        break;
    default: n = static_cast<std::int32_t>(in.below(200)); break;
    }
    // A sender owns 2 x ScopeSize floats; a record that claims more than any
    // sender can hold comes with a token buffer that must not be read.
    const bool real = n > 0 && n <= 16384;
    std::vector<float> samples(real ? 2 * static_cast<std::size_t>(n) : 4);
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = i < 64 ? in.value() : static_cast<float>(i % 97) / 48.0f - 1.0f;
    src.Samples = n == 0 && in.flag() ? nullptr : samples.data();
    src.ScopeSize = n;
    src.Channel_Active[0] = in.flag();
    src.Channel_Active[1] = in.flag();
    src.Rate = in.value();
    src.Time = in.value();
    src.Y_Scale = in.value();
    src.X_Y_Mode = in.flag() ? in.i16() : static_cast<std::int16_t>(in.below(4));
    src.Trigger = in.flag() ? in.i16() : static_cast<std::int16_t>(in.below(5));
    src.Volt_Oktave = in.i16();
    zolong size = sizeof(T_SCOPE);
    if (in.below(4) == 0) size = in.flag() ? static_cast<zolong>(in.i32()) : static_cast<zolong>(sizeof(T_SCOPE)) + 1 - in.below(3);
    zolong code = SCOPE_MSG_DATA;
    if (in.below(8) == 0) code = in.i32();

    const T_SCOPE before = shown(h);
    std::vector<float> before_samples;
    if (before.Samples && before.ScopeSize > 0)
        before_samples.assign(before.Samples, before.Samples + 2 * static_cast<std::size_t>(before.ScopeSize));
    const int acks = h.acks, repaints = h.repaints, others = h.other_requests;

    h.record->dispatcher(h.record, zo_gui_op::module_msg, size, code, &src, 0.0f);
    // A copy that misses a sample.
    if (fuzz::fault("copy") && n > 0 && shown(h).ScopeSize > 0) shown(h).Samples[0] += 1.0f;
    ++h.messages;

    const T_SCOPE& s = shown(h);
    FUZZ_CHECK(h.other_requests == others);
    if (static_cast<std::int32_t>(code) != SCOPE_MSG_DATA) {
        FUZZ_CHECK(h.acks == acks && h.repaints == repaints);
        FUZZ_CHECK(s.Samples == before.Samples && s.ScopeSize == before.ScopeSize);
        if (!before_samples.empty())
            FUZZ_CHECK(std::memcmp(s.Samples, before_samples.data(), before_samples.size() * sizeof(float)) == 0);
        return;
    }
    FUZZ_CHECK(h.acks == acks + 1 && h.repaints == repaints + 1);
    if (size != static_cast<zolong>(sizeof(T_SCOPE)) || n < 0 || n > SCOPE_MAX_SIZE) {
        checkDefaults(s, 1);
        return;
    }
    FUZZ_CHECK(s.ScopeSize == n);
    FUZZ_CHECK(n == 0 || s.Samples != nullptr);
    if (n > 0)
        FUZZ_CHECK(std::memcmp(s.Samples, samples.data(), 2 * static_cast<std::size_t>(n) * sizeof(float)) == 0);
    FUZZ_CHECK(sameBits(s.Rate, src.Rate) && sameBits(s.Time, src.Time) && sameBits(s.Y_Scale, src.Y_Scale));
    FUZZ_CHECK(s.Channel_Active[0] == src.Channel_Active[0] && s.Channel_Active[1] == src.Channel_Active[1]);
    FUZZ_CHECK(s.Trigger == src.Trigger && s.X_Y_Mode == src.X_Y_Mode);
    FUZZ_CHECK(s.Volt_Oktave == before.Volt_Oktave);  // the display's own
}

void paint(Host& h, fuzz::Input& in) {
    const int cw = static_cast<int>(in.below(97));
    const int ch = static_cast<int>(in.below(97));
    HDC dc = ZoGdiCreateCanvasDC(cw, ch, in.u32() & 0xFFFFFF);
    if (!dc) return;
    ZOWndInfo window;
    switch (in.below(4)) {
    case 0:
        window.width = in.i32();
        window.height = in.i32();
        break;
    case 1:
        window.width = static_cast<std::int32_t>(in.below16(5000)) - 100;
        window.height = static_cast<std::int32_t>(in.below16(5000)) - 100;
        break;
    default:
        window.width = cw;
        window.height = ch;
        break;
    }
    window.context = in.i32();
    h.text_colour = in.flag() ? in.i32() : static_cast<std::int32_t>(in.u32() & 0xFFFFFF);
    h.background = in.flag() ? in.i32() : -1;
    h.font_height = in.flag() ? in.i32() : static_cast<std::int32_t>(in.below(40));
    h.font = fontOf(static_cast<int>(in.below(4)));
    // A font of the host's in the DC already, to see it come back.
    if (in.flag()) SelectObject(dc, reinterpret_cast<HGDIOBJ>(fontOf(1)));

    const HGDIOBJ pen = ZoGdiCurrentObject(dc, 1);
    const HGDIOBJ font = ZoGdiCurrentObject(dc, 6);
    const long live = ZoGdiLiveObjects();
    const int fonts = h.font_requests, others = h.other_requests, acks = h.acks;
    h.record->dispatcher(h.record, zo_gui_op::paint, reinterpret_cast<zolong>(dc), 0, &window, 0.0f);
    // A paint that forgets a pen, and one whose arithmetic overflows.
    if (fuzz::fault("leak")) CreatePen(0, 1, 0);
    if (fuzz::fault("overflow")) {
        volatile std::int32_t big = INT32_MAX - 1;
        big = big + 2;
    }
    FUZZ_CHECK(ZoGdiLiveObjects() == live);
    FUZZ_CHECK(ZoGdiCurrentObject(dc, 1) == pen);
    FUZZ_CHECK(ZoGdiCurrentObject(dc, 6) == font);
    FUZZ_CHECK(h.font_requests == fonts + 1 && h.other_requests == others && h.acks == acks);
    ZoGdiDeleteDC(dc);
    ++h.paints;
}

void opcode(Host& h, fuzz::Input& in) {
    // close ends the object, paint needs a device context and module_msg a
    // sender's record: each has its own step.
    using namespace zo_gui_op;
    static const zolong kOpcodes[] = {initialise, lbutton_down, lbutton_up, mouse_move, pin_value_change,
                                      window_open, window_close, idle, new_connection, disconnect, count,
                                      100, -1};
    const zolong op = kOpcodes[in.below(13)];
    ZOWndInfo window{static_cast<std::int32_t>(in.below16(1000)), static_cast<std::int32_t>(in.below16(1000)), 0};
    void* ptr = in.flag() ? &window : nullptr;
    const zolong index = in.i32();
    const zolong value = in.i32();
    const float opt = in.bits();
    const zolong answer = h.record->dispatcher(h.record, op, index, value, ptr, opt);
    if (op != zo_gui_op::idle) FUZZ_CHECK(answer == 0);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::installContractRecorder();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input in(data, size);
    Host h;
    h.record = static_cast<ZOGUI_struct_base*>(makeModule(zo_object::library_index, zo_object::gui, &callback, &h));
    FUZZ_CHECK(h.record != nullptr && h.record->magic == ZO_MAGIC_GUI);
    checkDefaults(shown(h), 1);
    while (!in.empty()) {
        switch (in.below(4)) {
        case 0:
        case 1: message(h, in); break;
        case 2: paint(h, in); break;
        default: opcode(h, in); break;
        }
    }
    const int last_size = shown(h).ScopeSize;
    FUZZ_CHECK(h.record->dispatcher(h.record, zo_gui_op::close, 0, 0, nullptr, 0.0f) == 1);
    if (fuzz::verbose())
        std::fprintf(stderr, "display: %d messages, %d acks, %d paints, last size %d\n", h.messages,
                     h.acks, h.paints, last_size);
    return 0;
}
