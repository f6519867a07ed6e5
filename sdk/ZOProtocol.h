// Every number of the host interface, by name: dispatcher opcodes of both
// sides, host requests, event types, message codes, object kinds of the
// factory, the words of the audio dispatcher's info record and of the font
// record, pin-description values and flags. Code, tests, the host and the
// validator use these names; a bare number in their place is a bug waiting
// to be read the wrong way (request 22 is not opcode 22).
#pragma once

#include <cstdint>

// Interface long: 32 bits on 32-bit targets, pointer-sized on 64-bit ones.
typedef std::intptr_t zolong;

enum : std::int32_t {
    ZO_MAGIC_AUDIO = 0x5A4F504C,  // 'ZOPL'
    ZO_MAGIC_GUI = 0x5A4F504D,    // 'ZOPM'
    ZO_SDK_VERSION = 2180,
};

// `makeModule`'s first argument names the library; its second names the
// kind of object to make.
namespace zo_object {
enum : std::int32_t {
    library_index = 0,
    audio = 1,
    gui = 2,
};
}

// Audio-side dispatcher opcodes (the host calls the record's dispatcher word).
namespace zo_audio_op {
enum : zolong {
    open = 0,
    close = 1,
    set_sample_rate = 2,  // opt = rate in Hz
    set_block_size = 3,   // value = samples per block
    nothing_4 = 4,
    nothing_5 = 5,
    pin_properties = 6,   // index = pin table index, ptr = ZOPinProperties*
    forbidden_7 = 7,      // outside the protocol: a contract violation
    resume = 8,           // index > 0: VoiceReset(index) as well
    nothing_9 = 9,
    forbidden_10 = 10,    // outside the protocol: a contract violation
    nothing_11 = 11,
    gui_notify = 12,      // a message from the display side: index = size, value = code
    info = 13,            // answers the address of the shared info record
    count = 14,           // this and above (unsigned) do nothing
};
}

// Display-side dispatcher opcodes.
namespace zo_gui_op {
enum : zolong {
    initialise = 0,      // index 1: Initialise(true)
    close = 1,
    paint = 2,           // index = HDC, ptr = ZOWndInfo*
    lbutton_down = 3,    // index = x, value = y, ptr = ZOWndInfo*, opt bits = flags
    lbutton_up = 4,
    mouse_move = 5,
    module_msg = 6,      // a message from the audio side: index = size, value = code
    pin_value_change = 7,
    window_open = 8,
    window_close = 9,
    idle = 10,           // answers 1 when OnIdle returned true
    new_connection = 11,
    disconnect = 12,
    count = 13,          // this and above (unsigned) do nothing
};
}

// Host requests the library sends through the callback.
namespace zo_request {
enum : zolong {
    // audio side
    pin_status = 0,        // index = pin, value = state_type, ptr = time stamp
    pin_connected = 1,     // index = pin; nonzero: connected
    sample_clock = 3,
    pin_midi = 4,          // index = pin, value = MIDI message, ptr = time stamp
    pin_buffer = 7,        // index = pin; answers the float buffer's address
    pin_buffer_clock = 8,  // index = pin; clock of that buffer's first sample
    pin_count = 14,
    send_to_gui = 17,      // index = size, value = code, ptr = payload
    add_event = 19,        // ptr = ZoEvent, copied during the call
    process_changed = 22,  // the record's process word has changed
    // display side
    gui_repaint = 0,
    gui_handle = 1,
    gui_send_to_audio = 2,  // index = size, value = code, ptr = payload
    gui_construct_3 = 3,     // sent once at construction, index/value below; meaning is the host's
    gui_add_plug = 8,        // index = data type, value = direction, ptr = name
    gui_font = 10,           // index = window context, value = "tty", ptr = font record
    gui_construct_11 = 11,   // sent once at construction; meaning is the host's
    gui_construct_13 = 13,   // sent once at construction, index 1
    gui_set_capture = 18,
    gui_release_capture = 19,
    gui_get_capture = 20,
};
// Arguments of the construction requests.
enum : zolong {
    construct_3_index = 100,
    construct_3_value = 200,
    construct_13_index = 1,
};
}

// Event types of ZoEvent::type.
namespace zo_event {
enum : std::int32_t {
    pin_status = 0,  // ptr_value = pin position, int_value1 = state_type
    midi = 2,        // int_value1 = message, low 16 bits of int_value2 signed
    delayed_call = 21,  // ptr_value = code word of a member without arguments
};
}

// Message codes: the bytes of a short word, lowest first.
namespace zo_message {
enum : std::int32_t {
    data = 0x61746164,  // "data": the sender's scope record
    ack = 0x006B6361,   // "ack"
};
}

// The audio dispatcher's shared info record: four 32-bit words.
namespace zo_info {
enum : std::int32_t {
    word0 = 1,
    word1 = 8,
    word3 = 0x66,
};
}

// Request gui_font's record: 32-bit words the host fills; the library reads these.
namespace zo_font {
enum : int {
    record_bytes = 256,
    text_colour_word = 1,
    background_word = 2,  // negative: no fill
    height_word = 4,      // pixels
};
}

enum EPlugDataType : std::int32_t {
    DT_ENUM = 0,  // list index, 16 bits
    DT_CHAR = 4,  // 8-bit value
    DT_FSAMPLE = 5,
    DT_INT = 6,  // 32-bit value
};

enum EDirection : std::int32_t {
    DR_IN = 0,
    DR_OUT = 1,
    DR_PARAMETER = 3,
};

typedef std::int32_t state_type;

enum : std::int32_t {
    IO_REPEATING = 0x8,
    IO_PRIVATE = 0x100,
    IO_UI_COMMUNICATION = 0x400,
    IO_UI_WITH_DSP_PIN = 0x8000,
    IO_PATCH_STORE = 0x10000,
};
