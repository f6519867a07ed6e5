// Control block of the fake module used to test the host: the test sets the
// fake's behaviour and reads back every call the host made into it. Plain
// arrays only, since it crosses a library boundary.
#pragma once

#include <cstdint>

#include "ZOHostTypes.h"

enum FakeKind : std::int32_t {
    FK_AUDIO_OP = 1,  // audio dispatcher call
    FK_GUI_OP,        // display dispatcher call
    FK_PROCESS,       // first per-block routine
    FK_PROCESS2,      // second per-block routine (after a switch)
    FK_EVENT,         // event_handler call
};

struct FakePin {
    std::int32_t direction;
    std::int32_t data_type;
    std::int32_t flags;
    std::int32_t bind;  // nonzero: the description names a variable of the fake
    char name[24];
    char default_value[8];
    char list_text[48];
};

struct FakeCall {
    std::int32_t kind;
    std::int32_t object;  // serial of the fake object, from 1
    zolong opcode, index, value;
    void* ptr;
    float opt;
    std::uint32_t clock;  // sample_clock answer at the call
    // process calls
    zolong offset, count;
    void* bound[4];        // the bound sample-buffer variables as the call found them
    std::int16_t list16;   // bound 16-bit variable
    std::int8_t value8;    // bound 8-bit variable
    std::int32_t value32;  // bound 32-bit variable
    zolong buffer7[6];     // pin_buffer answers for positions 0..5
    std::uint32_t buffer_clock;  // pin_buffer_clock answer for position 0
    float first_sample[4];       // sample at `offset` of each bound buffer
    // events
    ZoEvent event;
    // messages (audio gui_notify, display module_msg) and other answers
    unsigned char bytes[16];  // first bytes of the payload
    zolong answers[8];
    ZOWndInfo window;
    std::int32_t font_record[6];
};

struct FakeInProcess {
    std::int32_t at_call;  // process call number of the object, from 0
    std::int32_t delta;    // event time stamp = clock + delta
    std::int32_t type;
    std::int32_t value1;
};

enum { FAKE_MAX_PINS = 8, FAKE_MAX_CALLS = 4096, FAKE_MAX_IN_PROCESS = 8 };

struct FakeControl {
    std::int32_t initialised;  // set by the test; zero again after a real reload

    // --- behaviour ---
    std::int32_t pin_descriptions;
    FakePin pins[FAKE_MAX_PINS];
    std::int32_t gui_acks;          // display answers each message with "ack"
    std::int32_t gui_repaints;      // and asks for a repaint
    std::int32_t scribble;          // bound variables are spoiled after each process call
    std::int32_t chain_type;        // delivering this type queues one more at the same clock while int_value2 > 0
    std::int32_t switch_at_call;    // process call that switches to the second routine (0: never)
    std::int32_t send_at_call;      // process call that sends its scope record (-1: never)
    std::int32_t scope_size;        // samples per channel of that record
    FakeInProcess in_process[FAKE_MAX_IN_PROCESS];
    std::int32_t in_process_count;

    // --- what happened ---
    std::int32_t objects_made;
    std::int32_t objects_alive;
    std::int32_t call_count;
    FakeCall calls[FAKE_MAX_CALLS];
};

extern "C" {
typedef FakeControl* (*FakeControlFn)();
typedef zolong (*FakeRequestFn)(void* record, zolong opcode, zolong index, zolong value, void* ptr,
                                float opt);
}
