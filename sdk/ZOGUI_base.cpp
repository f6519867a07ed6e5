#include "ZOGUI_base.h"

#include <cstring>

#include "ZOContract.h"

ZOGUI_base::ZOGUI_base(ZOHostCallback callback, void* host_data) : zoaudioMaster(callback) {
    std::memset(&m_record, 0, sizeof m_record);
    m_record.magic = ZO_MAGIC_GUI;
    m_record.version = 1;
    m_record.dispatcher = &ZOGUI_base::dispatchEffectClass;
    m_record.host_data = host_data;
    m_record.object = this;
}

ZOGUI_base::~ZOGUI_base() = default;

zolong ZOGUI_base::dispatchEffectClass(ZOGUI_struct_base* record, zolong opcode, zolong index,
                                       zolong value, void* ptr, float opt) {
    if (!record || !record->object) return 0;
    return static_cast<ZOGUI_base*>(record->object)->dispatcher(opcode, index, value, ptr, opt);
}

zolong ZOGUI_base::dispatcher(zolong opcode, zolong index, zolong value, void* ptr, float opt) {
    const auto window = static_cast<ZOWndInfo*>(ptr);
    unsigned int flags;
    static_assert(sizeof flags == sizeof opt, "mouse flags are the bits of opt");
    std::memcpy(&flags, &opt, sizeof flags);
    const zopoint point(static_cast<int>(index), static_cast<int>(value));
    // Full width: an opcode beyond 32 bits is unknown, not its low word.
    switch (static_cast<std::uintptr_t>(opcode)) {
    case zo_gui_op::initialise: Initialise(index == 1); return 0;
    case zo_gui_op::close:
        close();
        delete this;
        return 1;
    case zo_gui_op::paint: paint(reinterpret_cast<HDC>(index), window); return 0;
    case zo_gui_op::lbutton_down: OnLButtonDown(window, flags, point); return 0;
    case zo_gui_op::lbutton_up: OnLButtonUp(window, flags, point); return 0;
    case zo_gui_op::mouse_move: OnMouseMove(window, flags, point); return 0;
    case zo_gui_op::module_msg: OnModuleMsg(static_cast<int>(value), static_cast<int>(index), ptr); return 0;
    case zo_gui_op::pin_value_change: OnGuiPinValueChange(getPin(static_cast<int>(index))); return 0;
    case zo_gui_op::window_open: OnWindowOpen(window); return 0;
    case zo_gui_op::window_close: OnWindowClose(window); return 0;
    case zo_gui_op::idle: return OnIdle() ? 1 : 0;
    case zo_gui_op::new_connection: OnNewConnection(static_cast<int>(index)); return 0;
    case zo_gui_op::disconnect: OnDisconnect(static_cast<int>(index)); return 0;
    default: return 0;
    }
}

void ZOGUI_base::Initialise(bool) { SetupPins(); }
void ZOGUI_base::close() {}
void ZOGUI_base::paint(HDC, ZOWndInfo*) {}
void ZOGUI_base::OnLButtonDown(ZOWndInfo*, unsigned int, zopoint) {}
void ZOGUI_base::OnLButtonUp(ZOWndInfo*, unsigned int, zopoint) {}
void ZOGUI_base::OnMouseMove(ZOWndInfo*, unsigned int, zopoint) {}
void ZOGUI_base::OnWindowOpen(ZOWndInfo*) {}
void ZOGUI_base::OnWindowClose(ZOWndInfo*) {}
bool ZOGUI_base::OnIdle() { return false; }
void ZOGUI_base::OnNewConnection(int) {}
void ZOGUI_base::OnDisconnect(int) {}
void ZOGUI_base::OnModuleMsg(int, int, void*) {}
void ZOGUI_base::OnGuiPinValueChange(ZoGuiPin*) {}

zolong ZOGUI_base::CallHost(zolong opcode, zolong index, zolong value, void* ptr, float opt) {
    // Without a callback the request has nowhere to go: report and answer 0.
    if (!ZO_CONTRACT("ZOGUI_base", zoaudioMaster)) return 0;
    return zoaudioMaster(&m_record, opcode, index, value, ptr, opt);
}

void ZOGUI_base::AddGuiPlug(EPlugDataType type, EDirection direction, const char* name) {
    CallHost(zo_request::gui_add_plug, type, direction, const_cast<char*>(name), 0.0f);
    SetupPins();
}

void ZOGUI_base::SetCapture(ZOWndInfo* window) {
    CallHost(zo_request::gui_set_capture, 0, 0, window, 0.0f);
}

void ZOGUI_base::ReleaseCapture(ZOWndInfo* window) {
    CallHost(zo_request::gui_release_capture, 0, 0, window, 0.0f);
}

bool ZOGUI_base::GetCapture(ZOWndInfo* window) {
    return CallHost(zo_request::gui_get_capture, 0, 0, window, 0.0f) != 0;
}

ZoGuiPin* ZOGUI_base::getPin(int index) {
    static ZoGuiPin shared_pin;
    shared_pin.Init(index, this);
    return &shared_pin;
}
