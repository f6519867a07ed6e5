// The display side of the scope: keeps its own copy of each capture and
// draws it into the host's window.
//
// Threads: the host's window thread, one call at a time; captures and paint
// both arrive through the dispatcher, so they never overlap.
#pragma once

#include "ZOGUI_base.h"
#include "scopedata.h"

class GuiModule : public ZOGUI_base {
public:
    GuiModule(ZOHostCallback callback, void* host_data);
    ~GuiModule() override;

    void paint(HDC dc, ZOWndInfo* window) override;
    void OnModuleMsg(int id, int size, void* data) override;

    void SendStringToAudio(int id, int size, void* data);
    zolong Handle();
    void InvalidateControl();

    const T_SCOPE& scope() const { return m_scope; }

private:
    T_SCOPE m_scope{};
};
