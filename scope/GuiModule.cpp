#include "GuiModule.h"

#include <new>

GuiModule::GuiModule(ZOHostCallback callback, void* host_data) : ZOGUI_base(callback, host_data) {
    m_scope.Samples = nullptr;
    DefaultScope(&m_scope);
    CreateScope(&m_scope, GetScopeSize(&m_scope));
    if (!m_scope.Samples) throw std::bad_alloc();  // not created; nothing sent yet
    CallHost(zo_request::gui_construct_3, zo_request::construct_3_index,
             zo_request::construct_3_value, nullptr, 0.0f);
    CallHost(zo_request::gui_construct_11, 0, 0, nullptr, 0.0f);
    CallHost(zo_request::gui_construct_13, zo_request::construct_13_index, 0, nullptr, 0.0f);
}

GuiModule::~GuiModule() { DeleteScope(&m_scope); }

void GuiModule::OnModuleMsg(int id, int size, void* data) {
    if (id != SCOPE_MSG_DATA) return;
    CopyScope(&m_scope, static_cast<const T_SCOPE*>(data), size);
    SendStringToAudio(SCOPE_MSG_ACK, 0, nullptr);
    InvalidateControl();
}

void GuiModule::SendStringToAudio(int id, int size, void* data) {
    CallHost(zo_request::gui_send_to_audio, size, id, data, 0.0f);
}

zolong GuiModule::Handle() { return CallHost(zo_request::gui_handle, 0, 0, nullptr, 0.0f); }

void GuiModule::InvalidateControl() { CallHost(zo_request::gui_repaint, 0, 0, nullptr, 0.0f); }
