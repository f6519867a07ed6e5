// Records and types that cross the host boundary. Their byte layouts are a
// binary interface: on 32-bit targets they are checked below to the byte.
#pragma once

#include <cstddef>
#include <cstdint>

// zolong: every "long" of the host interface. It is 32 bits on 32-bit targets,
// and wide enough on 64-bit targets (including 64-bit Windows, whose long is
// 32 bits) that addresses and handles carried in an index or value never
// truncate. Defined with the interface's numbers.
#include "ZOProtocol.h"

struct ZOMod_struct_base2;
struct ZOGUI_struct_base;

// The host's callback. Both objects get one; the first argument is the
// address of the calling object's host-visible record.
typedef zolong (*ZOHostCallback)(void* record, zolong opcode, zolong index, zolong value, void* ptr,
                                 float opt);

// Entry words of the audio record. The host calls them with the record's
// object word as the first argument.
typedef zolong (*zo_audio_dispatcher)(ZOMod_struct_base2* record, zolong opcode, zolong index,
                                      zolong value, void* ptr, float opt);
typedef void (*zo_process_word)(void* object, zolong offset, zolong count);
struct ZoEvent;
typedef void (*zo_event_word)(void* object, ZoEvent* event);
typedef zolong (*zo_gui_dispatcher)(ZOGUI_struct_base* record, zolong opcode, zolong index,
                                    zolong value, void* ptr, float opt);

// Owned by the host; the library writes the six words and nothing behind them.
struct ZOModuleProperties {
    const char* name;
    const char* id;
    const char* about;
    std::int32_t flags;
    std::int32_t gui_flags;
    std::int32_t sdk_version;
};

struct ZOMod_struct_base2 {
    std::int32_t magic;
    std::int32_t version;
    void* host_data;
    void* object;
    zolong reserved0;
    zo_audio_dispatcher dispatcher;
    zo_process_word process;
    zo_event_word event_handler;
    zolong reserved[4];
};

struct ZOGUI_struct_base {
    std::int32_t magic;
    std::int32_t version;
    zo_gui_dispatcher dispatcher;
    void* host_data;
    void* object;
    std::int32_t reserved[5];
};

struct ZOPinProperties {
    void* variable_address;
    std::int32_t direction;
    std::int32_t data_type;
    const char* name;
    const char* default_value;
    const char* list_text;
    std::int32_t flags;
    std::int32_t reserved;
};

// A timed event; the host copies it during request zo_request::add_event and hands it back to the
// record's event_handler word when the sample clock equals time_stamp.
struct ZoEvent {
    ZoEvent(std::uint32_t p_time_stamp, std::int32_t p_type, std::int32_t p_int_value1,
            std::int32_t p_int_value2, void* p_ptr_value)
        : time_stamp(p_time_stamp), type(p_type), int_value1(p_int_value1),
          int_value2(p_int_value2), ptr_value(p_ptr_value), next(nullptr) {}
    ZoEvent() = default;

    std::uint32_t time_stamp;
    std::int32_t type;
    std::int32_t int_value1;
    std::int32_t int_value2;
    void* ptr_value;
    ZoEvent* next;
};

// Window information the host passes to paint and the mouse callbacks. The
// library reads the first three words and never writes it. The context is a
// 32-bit word on every target: a host may hand over just these 12 bytes.
struct ZOWndInfo {
    std::int32_t width;
    std::int32_t height;
    std::int32_t context;
};
static_assert(sizeof(ZOWndInfo) == 12, "ZOWndInfo size");

#if INTPTR_MAX == INT32_MAX
#define ZO_OFFSET_IS(T, f, o) static_assert(offsetof(T, f) == (o), #T "::" #f " offset")
static_assert(sizeof(zolong) == 4, "long of the host interface");
static_assert(sizeof(ZOModuleProperties) == 24, "ZOModuleProperties size");
ZO_OFFSET_IS(ZOModuleProperties, flags, 12);
ZO_OFFSET_IS(ZOModuleProperties, sdk_version, 20);
static_assert(sizeof(ZOMod_struct_base2) == 48, "ZOMod_struct_base2 size");
ZO_OFFSET_IS(ZOMod_struct_base2, version, 4);
ZO_OFFSET_IS(ZOMod_struct_base2, host_data, 8);
ZO_OFFSET_IS(ZOMod_struct_base2, object, 12);
ZO_OFFSET_IS(ZOMod_struct_base2, reserved0, 16);
ZO_OFFSET_IS(ZOMod_struct_base2, dispatcher, 20);
ZO_OFFSET_IS(ZOMod_struct_base2, process, 24);
ZO_OFFSET_IS(ZOMod_struct_base2, event_handler, 28);
ZO_OFFSET_IS(ZOMod_struct_base2, reserved, 32);
static_assert(sizeof(ZOGUI_struct_base) == 40, "ZOGUI_struct_base size");
ZO_OFFSET_IS(ZOGUI_struct_base, dispatcher, 8);
ZO_OFFSET_IS(ZOGUI_struct_base, host_data, 12);
ZO_OFFSET_IS(ZOGUI_struct_base, object, 16);
ZO_OFFSET_IS(ZOGUI_struct_base, reserved, 20);
static_assert(sizeof(ZOPinProperties) == 32, "ZOPinProperties size");
ZO_OFFSET_IS(ZOPinProperties, direction, 4);
ZO_OFFSET_IS(ZOPinProperties, data_type, 8);
ZO_OFFSET_IS(ZOPinProperties, name, 12);
ZO_OFFSET_IS(ZOPinProperties, default_value, 16);
ZO_OFFSET_IS(ZOPinProperties, list_text, 20);
ZO_OFFSET_IS(ZOPinProperties, flags, 24);
ZO_OFFSET_IS(ZOPinProperties, reserved, 28);
static_assert(sizeof(ZoEvent) == 24, "ZoEvent size");
ZO_OFFSET_IS(ZoEvent, type, 4);
ZO_OFFSET_IS(ZoEvent, int_value1, 8);
ZO_OFFSET_IS(ZoEvent, int_value2, 12);
ZO_OFFSET_IS(ZoEvent, ptr_value, 16);
ZO_OFFSET_IS(ZoEvent, next, 20);
ZO_OFFSET_IS(ZOWndInfo, context, 8);
#undef ZO_OFFSET_IS
#endif
