#!/usr/bin/env python3
"""Writes the seed inputs of the fuzz targets to fuzz/corpus/<target>/.

The targets read their input front to back (fuzz/FuzzSupport.h), so a seed is
a script: each helper below emits the bytes one step of a target reads. Run
it again after changing what a target reads; the fuzzer's own finds stay in
the build tree.
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def u8(v):
    return bytes([v & 0xFF])


def u16(v):
    return struct.pack("<H", v & 0xFFFF)


def i32(v):
    return struct.pack("<i", v)


def u32(v):
    return struct.pack("<I", v & 0xFFFFFFFF)


# Input::value(): a selector byte, then the bytes its case reads.
def value_zero():
    return u8(0)


def value_one():
    return u8(2)


def value_minus_one():
    return u8(3)


def value_half():
    return u8(4)


def value_nan():
    return u8(5)


def value_small(v):
    """v / 4096 with v a 16-bit integer."""
    return u8(10) + u16(v)


def value_bits(f):
    return u8(11) + struct.pack("<f", f)


# ---- fuzz_audio ----
CAPACITY = 2048
PINS = 8  # the module's table: A, B, Time, Y-Scale, X-Y-Mode, Trigger, EXT, Time-Mode


def audio_setup(rate_choice=0, pin_choice=2, connected=0x43, pin_count=None):
    b = u8(rate_choice) + u8(0)  # rate from the list; block size = capacity
    if pin_count is not None:
        b += u8(0) + u8(pin_count)
    else:
        b += u8(pin_choice)
    return b + u16(connected) + u8(0)  # connections; clock from 0


def pin_source(kind, period=0, level=value_zero()):
    """kind: 0 constant, 1 sine, 2 square, 3 saw, 5 alternating, 6 the sample's position."""
    return u8(kind) + u16(period) + level


def block(count, sources, cutting=0, pattern=1, repeat=1, cuts=(), acks=()):
    """One process step: `repeat` blocks of `count` samples, the same sources each."""
    assert 1 <= repeat <= 64
    big = repeat > 2
    b = u8(1) + u16(count) + u8(cutting) + u8(pattern - 1) + u8(1 if big else 0) + u8(repeat - 1)
    for _ in range(repeat):
        for s in sources:
            b += s
        if cutting == 2:
            b += b"".join(u8(c) for c in cuts)
        if cutting == 3:
            # Each part: its cut, then whether an ack comes first (0: yes).
            for c, a in zip(cuts, acks):
                b += u8(c) + u8(a) + (u8(0) if a % 4 == 0 else b"")
    return b


def open_op():
    return u8(0)


def ack_op():
    return u8(4) + u8(0)


def set_list(index, value):
    """A list pin's value, written as a host does after opening (opening defaults them)."""
    return u8(8) + u8(index) + u8(0) + u8(value)


def event_op(kind_index, on_time=True, v1=0, v2=0, position_mode=0, position=0):
    """kind_index into 0 0 0 2 2 2 6 21 99 -1; position_mode 0: below 10, 1: negative, 2: any."""
    b = u8(6) + u8(kind_index) + u8(1 if on_time else 0)
    if not on_time:
        b += u32(position * 7 + 3)
    b += i32(v1) + i32(v2) + u8(position_mode)
    return b + (i32(position) if position_mode >= 2 else u8(position))


def opcode_op(choice, index=0, value=0):
    """choice into 2 3 4 5 6 7 8 9 10 11 13 14 1000 -1 -100."""
    b = u8(7) + u8(choice) + u8(0) + u8(index) + i32(value) + value_half()
    return b + (u8(1) if choice == 4 else b"")  # opcode 6 with a record


def sources(a, b=pin_source(0), time=pin_source(0, 0, value_small(4)), ext=pin_source(0)):
    return [a, b, time, pin_source(0, 0, value_half()), pin_source(0), pin_source(0), ext, pin_source(0)]


def audio_seeds():
    sine_a = pin_source(1, 300)
    saw_b = pin_source(3, 1000)
    ramp_b = pin_source(6)
    yield "input_a_small_captures", (
        audio_setup() + open_op() + set_list(5, 1) + set_list(7, 3)
        + block(512, sources(sine_a, ramp_b)) + ack_op() + block(512, sources(sine_a, ramp_b))
        + ack_op() + block(700, sources(sine_a, ramp_b), cutting=1, pattern=37) + ack_op()
        + block(256, sources(sine_a, ramp_b), cutting=2, cuts=[0, 5, 1, 200, 3, 199, 7]))
    yield "aus_hold_off", (
        audio_setup() + open_op() + set_list(5, 0) + set_list(7, 3)
        + block(300, sources(pin_source(5, 0, value_half()), ramp_b), repeat=4)
        + ack_op() + block(300, sources(pin_source(5, 0, value_half()), ramp_b), cutting=3,
                           cuts=[10, 40, 0, 90, 160], acks=[0, 1, 0, 2, 0]))
    yield "ext_low_rate", (
        audio_setup(rate_choice=2) + open_op() + set_list(5, 4)
        + block(1024, sources(pin_source(3, 70), ramp_b, ext=pin_source(2, 90)), repeat=3)
        + ack_op() + block(1024, sources(pin_source(3, 70), ramp_b, ext=pin_source(0, 0, value_one())), repeat=3)
        + ack_op() + block(1024, sources(pin_source(3, 70), ramp_b, ext=pin_source(2, 90)), repeat=2))
    yield "timeout_silence", (
        audio_setup() + open_op() + set_list(5, 1) + set_list(7, 2)
        + block(2048, sources(pin_source(0), saw_b, time=pin_source(0, 0, value_small(2))), repeat=10)
        + ack_op() + block(2048, sources(pin_source(0, 0, value_minus_one()), saw_b), repeat=10))
    yield "events_and_opcodes", (
        audio_setup() + open_op() + event_op(0, v1=1, position=1) + event_op(3, v1=0x90, v2=0x12345)
        + event_op(0, on_time=False, position_mode=2) + opcode_op(5) + opcode_op(10) + opcode_op(4, 3)
        + opcode_op(0, 0) + block(128, sources(sine_a)) + event_op(7, position_mode=3) + ack_op())
    yield "three_pins", (
        audio_setup(pin_count=3, connected=0x7) + open_op() + set_list(5, 3)
        + block(400, sources(sine_a, saw_b)[:3]) + ack_op() + block(400, sources(sine_a, saw_b)[:3]))


# ---- fuzz_display ----
def message(n_choice_bytes, sample_bytes, active=(1, 1), rate=value_bits(44100.0),
            time=value_bits(5.0), y=value_one(), xy=0, trigger=1, size_ok=True, data=True,
            empty_null=None):
    b = u8(0) + n_choice_bytes + sample_bytes
    if empty_null is not None:  # ScopeSize 0: with or without a pointer
        b += u8(1 if empty_null else 0)
    b += u8(active[0]) + u8(active[1]) + rate + time + y
    b += u8(0) + u8(xy) + u8(0) + u8(trigger) + u16(1)
    b += u8(1) if size_ok else u8(0) + u8(0) + u8(0)  # size: the record's, or one byte more
    b += u8(1) if data else u8(0) + i32(0x12345678)
    return b


def ramp_samples(n):
    return b"".join(value_small((i * 97) % 8192 - 4096) for i in range(min(64, 2 * n)))


def paint(w, h, text=0xE0E0E0, background=None, font_height=12, font=1, select_font=False, window=None):
    b = u8(2) + u8(w) + u8(h) + u32(0)
    if window is None:
        b += u8(2)
    else:
        b += u8(0) + i32(window[0]) + i32(window[1])
    b += i32(0x5A0C) + u8(0) + u32(text)
    b += u8(0) if background is None else u8(1) + i32(background)
    b += u8(0) + u8(font_height) + u8(font) + u8(1 if select_font else 0)
    return b


def gui_opcode(choice, index=0, value=0):
    return u8(3) + u8(choice) + u16(200) + u16(100) + u8(1) + i32(index) + i32(value) + u32(1)


def display_seeds():
    yield "paint_default", paint(96, 64) + paint(40, 12, font_height=12) + paint(96, 90, background=0x102030)
    yield "capture_then_paint", (
        message(u8(6) + u8(50), ramp_samples(50)) + paint(96, 80, background=0)
        + message(u8(6) + u8(20), ramp_samples(20), xy=1) + paint(96, 80, select_font=True))
    yield "xy_and_scales", (
        message(u8(3) + u16(300), ramp_samples(300), xy=2, y=value_bits(0.6)) + paint(90, 90)
        + message(u8(6) + u8(30), ramp_samples(30), y=value_bits(6.0)) + paint(96, 96, font=0))
    yield "odd_records", (
        message(u8(2) + u8(5), value_half() * 4) + message(u8(4) + u8(1), value_one() * 4)
        + message(u8(0), value_zero() * 4, size_ok=False, empty_null=True)
        + message(u8(0), value_zero() * 4, empty_null=False)
        + message(u8(1), value_nan() * 2, data=False)
        + paint(64, 48, window=(-5, 100000)))
    yield "opcodes", gui_opcode(0, 1) + gui_opcode(1, -5, 7) + gui_opcode(4, 3) + gui_opcode(7) + gui_opcode(12)


# ---- fuzz_scopedata ----
def sd_create(which, trigger, n, update=False):
    # trigger: the list index (below 5); n below 120
    return u8(which) + u8(1 if update else 0) + u8(1) + u8(trigger) + u8(4) + u8(n)


def sd_copy(which, n, size_ok=True):
    b = u8(which) + u8(2) + u8(1) + u8(4) + u8(n)
    b += b"".join(value_small(i * 31) for i in range(min(32, 2 * n if n > 0 else 2)))
    if n == 0:
        b += u8(0)
    b += value_bits(48000.0) + value_half() + value_one() + u8(1) + u8(0) + u16(1) + u16(2) + u16(0)
    b += u8(1) if size_ok else u8(0) + u8(0) + u8(0)
    return b


def sd_time(which, mode, time):
    return u8(which) + u8(4) + time + u8(0) + u8(0) + u8(mode)


def scopedata_seeds():
    yield "ext_resizes", sd_create(0, 4, 100) + sd_create(0, 4, 50) + sd_create(0, 4, 119) + sd_create(1, 1, 7, True)
    yield "copies", sd_copy(0, 40) + sd_copy(1, 0) + sd_copy(0, 3, size_ok=False) + u8(1) + u8(3) + u8(0)
    yield "time_modes", b"".join(sd_time(0, m, t) for m in range(4) for t in (value_zero(), value_half(), value_small(3)))
    # SetScope(1, 10), SetTime and SetY_Scale of 0.35, DeleteScope.
    yield "access", (u8(0) + u8(6) + u8(1) + u8(1) + u8(1) + u16(60) + value_one()
                     + u8(1) + u8(5) + value_bits(0.35) + u8(0) + u8(7))


def main():
    for target, seeds in (("fuzz_audio", audio_seeds()), ("fuzz_display", display_seeds()),
                          ("fuzz_scopedata", scopedata_seeds())):
        out = os.path.join(HERE, "corpus", target)
        os.makedirs(out, exist_ok=True)
        for name, data in seeds:
            with open(os.path.join(out, name), "wb") as f:
                f.write(data)


if __name__ == "__main__":
    main()
