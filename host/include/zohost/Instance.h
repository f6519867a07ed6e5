// One placed module: an audio object and optionally a display object made by
// the same library, driven block by block with a real sample clock, timed
// events, pins with host-owned storage, and the messages between the two.
//
// Single-threaded: every call, and every request the module makes, happens
// on the thread that drives the instance. The library must outlive it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ZOHostTypes.h"
#include "zohost/BlockSplitter.h"
#include "zohost/EventQueue.h"
#include "zohost/Gdi.h"
#include "zohost/MessageRouter.h"
#include "zohost/ModuleLibrary.h"
#include "zohost/PinBank.h"
#include "zohost/PinTable.h"
#include "zohost/RequestLog.h"
#include "zohost/Signal.h"

namespace zohost {

struct InstanceOptions {
    zolong module_index = 0;
    bool audio = true;
    bool display = true;
    bool display_optional = false;       // a module that makes no display runs without one
    bool display_first = false;          // creation order
    bool destroy_display_first = false;  // destruction order
    float sample_rate = 44100.0f;        // opcode set_sample_rate
    int block_size = 1024;               // opcode set_block_size, and every buffer's capacity
    int pin_count = -1;                  // request pin_count; -1: the pins the table describes
    std::uint64_t start_clock = 0;       // sample clock of the first block
    bool idle_from_default = true;       // unconnected inputs carry default text / 10
    bool log_requests = true;
    MessageOptions messages;
    // display side
    zolong window_handle = 0x1000;   // request gui_handle
    zolong capture_answer = 0;       // request gui_get_capture
    std::int32_t window_context = 0x5A0C;  // third word of the window record
    std::uint32_t text_colour = 0x00FFFFFF;
    std::int32_t background = 0;  // negative: no background
    std::int32_t font_height = 12;
};

// A pin by position or by name.
class PinRef {
public:
    PinRef(int position) : position_(position) {}
    PinRef(const char* name) : name_(name) {}
    PinRef(std::string name) : name_(std::move(name)) {}
    int position() const { return position_; }
    const std::string& name() const { return name_; }

private:
    int position_ = -1;
    std::string name_;
};

class Instance : private MessageEndpoints {
public:
    // Creates the objects, sets rate and block size and reads the pin table.
    // Throws std::runtime_error when the library makes no object.
    Instance(const ModuleLibrary& library, const InstanceOptions& options = InstanceOptions());
    // Virtual: kinds of instance that keep more (captures) derive from it.
    virtual ~Instance();
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;

    const InstanceOptions& options() const { return options_; }
    ZOMod_struct_base2* audioRecord() const { return audio_; }
    ZOGUI_struct_base* displayRecord() const { return display_; }
    bool hasAudio() const override { return audio_ != nullptr; }
    bool hasDisplay() const override { return display_ != nullptr; }

    // --- pins ---
    const PinTable& pinTable() const { return table_; }
    int pinCount() const { return table_.count(); }
    // Position of a pin; std::out_of_range for an unknown name or position.
    int pin(const PinRef& ref) const;
    float* buffer(const PinRef& ref) const { return bank_.buffer(pin(ref)); }
    void setSignal(const PinRef& ref, Signal signal);
    Signal& signal(const PinRef& ref) { return bank_.signal(pin(ref)); }
    void setConnected(const PinRef& ref, bool on) { bank_.setConnected(pin(ref), on); }
    void clearConnected(const PinRef& ref) { bank_.clearConnected(pin(ref)); }
    bool connected(const PinRef& ref) const { return bank_.connected(pin(ref)); }
    // Value pins (DT_ENUM, DT_CHAR, DT_INT): written through the bound variable at once
    // when open, else right after opening.
    void setValue(const PinRef& ref, std::int32_t value);
    std::int32_t value(const PinRef& ref) const { return bank_.value(pin(ref)); }
    // Sets each value pin from its default text.
    void applyDefaults();

    // --- running ---
    void open();  // opcode open; processBlock opens first if not done
    bool opened() const { return opened_; }
    // One block of `count` samples, at most block_size.
    void processBlock(int count);
    // Whole blocks of block_size, then the rest.
    void run(std::uint64_t samples);
    void setSplitter(BlockSplitter splitter) { splitter_ = std::move(splitter); }

    std::uint64_t clock() const { return now_; }  // 64-bit; the module sees the low 32 bits
    std::uint64_t blocksStarted() const { return blocks_started_; }
    EventQueue& events() { return events_; }
    // Queues an event as if the module had sent request add_event.
    void queueEvent(const ZoEvent& event) { events_.push(event, now_); }

    // --- messages ---
    MessageRouter& messages() { return router_; }
    const MessageRouter& messages() const { return router_; }
    void deliverMessages() { router_.deliverPending(blocks_started_); }

    // --- display ---
    zolong paint(HDC dc, int width, int height);
    const ZOWndInfo& windowInfo() const { return window_; }
    int repaints() const { return repaints_; }
    int fontRequests() const { return font_requests_; }
    zolong lastFontContext() const { return last_font_context_; }

    // --- raw calls, for bad-input tests; opcode close ends the object ---
    zolong audioCall(zolong opcode, zolong index = 0, zolong value = 0, void* ptr = nullptr,
                     float opt = 0.0f);
    zolong displayCall(zolong opcode, zolong index = 0, zolong value = 0, void* ptr = nullptr,
                       float opt = 0.0f);

    // --- requests ---
    RequestLog& log() { return log_; }
    const RequestLog& log() const { return log_; }
    int processChanges() const { return process_changes_; }
    int unknownRequests() const { return unknown_requests_; }

    // Opcode close to each object in the configured order; each returns its answer
    // (the object's answer, or 0 when there was none).
    void destroy();
    zolong destroyAudio();
    zolong destroyDisplay();
    zolong audioCloseAnswer() const { return audio_close_answer_; }
    zolong displayCloseAnswer() const { return display_close_answer_; }

    // The callback given to makeModule; finds the instance through the record.
    static zolong hostCallback(void* record, zolong opcode, zolong index, zolong value, void* ptr,
                               float opt);

private:
    zolong audioRequest(zolong opcode, zolong index, zolong value, void* ptr, bool& known);
    zolong displayRequest(zolong opcode, zolong index, zolong value, void* ptr, bool& known);
    zolong fillFont(zolong context, void* record);
    void deliverDueEvents();
    void callProcess(zolong offset, zolong count);

    zolong deliverToAudio(zolong index, zolong value, void* ptr) override;
    zolong deliverToDisplay(zolong index, zolong value, void* ptr) override;
    std::uint64_t messageClock() const override { return now_; }

    static const std::uint32_t kMagic = 0x5A4F484Fu;
    std::uint32_t magic_ = kMagic;  // checked by the callback
    InstanceOptions options_;
    ZOMod_struct_base2* audio_ = nullptr;
    ZOGUI_struct_base* display_ = nullptr;
    PinTable table_;
    PinBank bank_;
    EventQueue events_;
    BlockSplitter splitter_;
    MessageRouter router_;
    RequestLog log_;
    ZOWndInfo window_{};
    bool opened_ = false;
    std::uint64_t now_ = 0;
    std::uint64_t block_start_ = 0;
    std::uint64_t blocks_started_ = 0;
    int repaints_ = 0;
    int font_requests_ = 0;
    zolong last_font_context_ = 0;
    int process_changes_ = 0;
    int unknown_requests_ = 0;
    zolong audio_close_answer_ = 0;
    zolong display_close_answer_ = 0;
};

}  // namespace zohost
