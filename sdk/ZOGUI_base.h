// Base class of every display-side object: turns the host's GUI dispatcher
// calls into virtual operations and offers the requests a display sends.
//
// Threads: the host calls a display object from its window thread, one call
// at a time; zo_gui_op::close is the last call an object receives.
#pragma once

#include <cstdint>

#include "ZOGdi.h"
#include "ZOHostTypes.h"

class ZOGUI_base;

struct zopoint : public POINT {
    zopoint(int px, int py) {
        x = px;
        y = py;
    }
    zopoint(const zopoint& other) : POINT() {
        x = other.x;
        y = other.y;
    }
    zopoint& operator=(const zopoint&) = default;
};

struct ZoGuiPin {
    std::int32_t m_pin_index;
    ZOGUI_base* m_module;
    void Init(int index, ZOGUI_base* module) {
        m_pin_index = index;
        m_module = module;
    }
};

class ZOGUI_base {
public:
    ZOGUI_base(ZOHostCallback callback, void* host_data);
    virtual ~ZOGUI_base();
    ZOGUI_base(const ZOGUI_base&) = delete;
    ZOGUI_base& operator=(const ZOGUI_base&) = delete;

    virtual zolong dispatcher(zolong opcode, zolong index, zolong value, void* ptr, float opt);
    virtual void Initialise(bool flag);
    virtual void close();
    virtual void paint(HDC dc, ZOWndInfo* window);
    virtual void OnLButtonDown(ZOWndInfo* window, unsigned int flags, zopoint point);
    virtual void OnLButtonUp(ZOWndInfo* window, unsigned int flags, zopoint point);
    virtual void OnMouseMove(ZOWndInfo* window, unsigned int flags, zopoint point);
    virtual void OnWindowOpen(ZOWndInfo* window);
    virtual void OnWindowClose(ZOWndInfo* window);
    virtual bool OnIdle();
    virtual void OnNewConnection(int index);
    virtual void OnDisconnect(int index);
    virtual void OnModuleMsg(int id, int size, void* data);
    virtual void OnGuiPinValueChange(ZoGuiPin* pin);

    // Entry word of the record's dispatcher.
    static zolong dispatchEffectClass(ZOGUI_struct_base* record, zolong opcode, zolong index,
                                      zolong value, void* ptr, float opt);

    ZOGUI_struct_base* getRecord() { return &m_record; }
    zolong CallHost(zolong opcode, zolong index, zolong value, void* ptr, float opt);

    void AddGuiPlug(EPlugDataType type, EDirection direction, const char* name);
    void SetCapture(ZOWndInfo* window);
    void ReleaseCapture(ZOWndInfo* window);
    bool GetCapture(ZOWndInfo* window);
    void SetupPins() {}
    ZoGuiPin* getPin(int index);

protected:
    ZOHostCallback zoaudioMaster;
    ZOGUI_struct_base m_record;
};
