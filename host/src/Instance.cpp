#include "zohost/Instance.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "zohost/FontCache.h"

namespace zohost {

Instance::Instance(const ModuleLibrary& library, const InstanceOptions& options)
    : options_(options), router_(*this) {
    if (!library.loaded()) throw std::runtime_error("module library not loaded");
    if (options_.block_size < 0) throw std::invalid_argument("negative block size");
    router_.options() = options_.messages;
    log_.setEnabled(options_.log_requests);
    window_.context = options_.window_context;
    now_ = block_start_ = options_.start_clock;

    auto makeAudio = [&] {
        if (!options_.audio) return;
        audio_ = static_cast<ZOMod_struct_base2*>(
            library.makeModule(options_.module_index, zo_object::audio, &Instance::hostCallback, this));
        if (!audio_) throw std::runtime_error("makeModule made no audio object");
    };
    auto makeDisplay = [&] {
        if (!options_.display) return;
        display_ = static_cast<ZOGUI_struct_base*>(
            library.makeModule(options_.module_index, zo_object::gui, &Instance::hostCallback, this));
        if (!display_ && options_.display_optional) options_.display = false;
        else if (!display_) throw std::runtime_error("makeModule made no display object");
    };
    try {
        if (options_.display_first) {
            makeDisplay();
            makeAudio();
        } else {
            makeAudio();
            makeDisplay();
        }
    } catch (...) {
        destroy();
        throw;
    }

    if (audio_) {
        audioCall(zo_audio_op::set_sample_rate, 0, 0, nullptr, options_.sample_rate);
        audioCall(zo_audio_op::set_block_size, 0, options_.block_size, nullptr, 0.0f);
        table_ = PinTable(PinTable::read(audio_));
    }
    table_.layout(options_.pin_count >= 0 ? options_.pin_count : table_.describedPins());
    bank_.allocate(table_, options_.block_size, options_.idle_from_default);
}

Instance::~Instance() { destroy(); }

int Instance::pin(const PinRef& ref) const {
    if (!ref.name().empty()) {
        int p = table_.find(ref.name());
        if (p < 0) throw std::out_of_range("no pin named \"" + ref.name() + "\"");
        return p;
    }
    if (ref.position() < 0 || ref.position() >= table_.count())
        throw std::out_of_range("no pin at position " + std::to_string(ref.position()));
    return ref.position();
}

void Instance::setSignal(const PinRef& ref, Signal signal) { bank_.setSignal(pin(ref), std::move(signal)); }

void Instance::setValue(const PinRef& ref, std::int32_t value) {
    int p = pin(ref);
    bank_.setValue(p, value);
    if (opened_ && audio_) bank_.writeValue(p);
}

void Instance::applyDefaults() {
    for (int p = 0; p < table_.count(); ++p) {
        const PinDescription* d = table_.descriptionAt(p);
        if (!d || !bank_.hasValue(p) || d->default_value.empty()) continue;
        setValue(p, static_cast<std::int32_t>(std::strtol(d->default_value.c_str(), nullptr, 10)));
    }
}

void Instance::open() {
    if (opened_) return;
    if (!audio_) throw std::logic_error("no audio object to open");
    bank_.bindBuffers();
    opened_ = true;
    audioCall(zo_audio_op::open);
    if (audio_) bank_.writeSetValues();
}

void Instance::processBlock(int count) {
    if (count < 0 || count > bank_.capacity())
        throw std::invalid_argument("block of " + std::to_string(count) + " samples; at most " +
                                    std::to_string(bank_.capacity()));
    if (!audio_) throw std::logic_error("no audio object to process");
    if (!opened_) open();
    if (router_.pending() != 0) router_.deliverPending(blocks_started_);
    if (!audio_) return;

    block_start_ = now_;
    bank_.fillInputs(block_start_, count);
    ++blocks_started_;
    const std::uint64_t end = block_start_ + static_cast<std::uint64_t>(count);
    int pos = 0;
    bool first = true;
    for (;;) {
        now_ = block_start_ + static_cast<std::uint64_t>(pos);
        // Events due at the block's end belong to the next block.
        if (pos >= count && !first) break;
        deliverDueEvents();
        if (!audio_) return;
        int part = count - pos;
        if (splitter_.active()) part = std::min(part, splitter_.next());
        if (!events_.empty() && events_.nextDue() < end)
            part = std::min(part, static_cast<int>(events_.nextDue() - now_));
        bank_.bindBuffers();
        callProcess(pos, part);
        if (!audio_) return;
        pos += part;
        first = false;
    }
    now_ = end;
}

void Instance::run(std::uint64_t samples) {
    int block = std::max(1, options_.block_size);
    while (samples > 0) {
        int n = static_cast<int>(std::min<std::uint64_t>(samples, static_cast<std::uint64_t>(block)));
        processBlock(n);
        samples -= static_cast<std::uint64_t>(n);
    }
}

void Instance::deliverDueEvents() {
    if (events_.empty()) return;
    ZoEvent e;
    while (audio_ && events_.popDue(now_, e)) {
        zo_event_word handler = audio_->event_handler;
        // The host's copy is what the module sees, and only during the call.
        ZoEvent delivered = e;
        if (handler) handler(audio_->object, &delivered);
    }
}

void Instance::callProcess(zolong offset, zolong count) {
    zo_process_word process = audio_->process;
    if (process) process(audio_->object, offset, count);
}

zolong Instance::paint(HDC dc, int width, int height) {
    window_.width = width;
    window_.height = height;
    window_.context = options_.window_context;
    return displayCall(zo_gui_op::paint, reinterpret_cast<zolong>(dc), 0, &window_, 0.0f);
}

zolong Instance::audioCall(zolong opcode, zolong index, zolong value, void* ptr, float opt) {
    if (!audio_) return 0;
    if (opcode == zo_audio_op::close) return destroyAudio();
    return audio_->dispatcher(audio_, opcode, index, value, ptr, opt);
}

zolong Instance::displayCall(zolong opcode, zolong index, zolong value, void* ptr, float opt) {
    if (!display_) return 0;
    if (opcode == zo_gui_op::close) return destroyDisplay();
    return display_->dispatcher(display_, opcode, index, value, ptr, opt);
}

void Instance::destroy() {
    if (options_.destroy_display_first) {
        destroyDisplay();
        destroyAudio();
    } else {
        destroyAudio();
        destroyDisplay();
    }
}

zolong Instance::destroyAudio() {
    if (!audio_) return 0;
    ZOMod_struct_base2* record = audio_;
    // Nothing of the host may reach the record once opcode close is under way.
    audio_ = nullptr;
    router_.dropPending();
    events_.clear();
    audio_close_answer_ = record->dispatcher(record, zo_audio_op::close, 0, 0, nullptr, 0.0f);
    return audio_close_answer_;
}

zolong Instance::destroyDisplay() {
    if (!display_) return 0;
    ZOGUI_struct_base* record = display_;
    display_ = nullptr;
    router_.dropPending();
    display_close_answer_ = record->dispatcher(record, zo_gui_op::close, 0, 0, nullptr, 0.0f);
    return display_close_answer_;
}

zolong Instance::deliverToAudio(zolong index, zolong value, void* ptr) {
    return audioCall(zo_audio_op::gui_notify, index, value, ptr, 0.0f);
}

zolong Instance::deliverToDisplay(zolong index, zolong value, void* ptr) {
    return displayCall(zo_gui_op::module_msg, index, value, ptr, 0.0f);
}

zolong Instance::hostCallback(void* record, zolong opcode, zolong index, zolong value, void* ptr,
                              float opt) {
    if (!record) return 0;
    std::int32_t magic;
    std::memcpy(&magic, record, sizeof magic);
    Side side;
    void* host_data;
    if (magic == ZO_MAGIC_AUDIO) {
        side = Side::Audio;
        host_data = static_cast<ZOMod_struct_base2*>(record)->host_data;
    } else if (magic == ZO_MAGIC_GUI) {
        side = Side::Display;
        host_data = static_cast<ZOGUI_struct_base*>(record)->host_data;
    } else {
        return 0;
    }
    Instance* self = static_cast<Instance*>(host_data);
    if (!self || self->magic_ != kMagic) return 0;

    // Off, the log costs one test per request: requests come per capture.
    const bool logging = self->log_.enabled();
    const std::size_t slot =
        logging ? self->log_.add(RequestEntry{side, true, record, opcode, index, value, ptr, opt, self->now_, 0})
                : RequestLog::npos;
    bool known = true;
    zolong answer = 0;
    // No exception may cross the module's frames.
    try {
        answer = side == Side::Audio ? self->audioRequest(opcode, index, value, ptr, known)
                                     : self->displayRequest(opcode, index, value, ptr, known);
    } catch (...) {
        answer = 0;
    }
    if (!known) ++self->unknown_requests_;
    if (slot != RequestLog::npos) self->log_.answer(slot, answer, known);
    return answer;
}

zolong Instance::audioRequest(zolong opcode, zolong index, zolong value, void* ptr, bool& known) {
    switch (opcode) {
    case zo_request::pin_status:
    case zo_request::pin_midi:
        return 0;
    case zo_request::pin_connected:
        return bank_.connected(static_cast<int>(index)) ? 1 : 0;
    case zo_request::sample_clock:
        return static_cast<zolong>(static_cast<std::uint32_t>(now_));
    case zo_request::pin_buffer:
        return reinterpret_cast<zolong>(bank_.buffer(static_cast<int>(index)));
    case zo_request::pin_buffer_clock:
        return static_cast<zolong>(static_cast<std::uint32_t>(block_start_));
    case zo_request::pin_count:
        return table_.count();
    case zo_request::send_to_gui:
        router_.fromAudio(index, value, ptr, blocks_started_);
        return 0;
    case zo_request::add_event:
        if (ptr) events_.push(*static_cast<const ZoEvent*>(ptr), now_);
        return 0;
    case zo_request::process_changed:
        ++process_changes_;
        return 0;
    default:
        known = false;
        return 0;
    }
}

zolong Instance::displayRequest(zolong opcode, zolong index, zolong value, void* ptr, bool& known) {
    switch (opcode) {
    case zo_request::gui_repaint:
        ++repaints_;
        return 0;
    case zo_request::gui_handle:
        return options_.window_handle;
    case zo_request::gui_send_to_audio:
        router_.fromDisplay(index, value, ptr, blocks_started_);
        return 0;
    case zo_request::gui_construct_3:
    case zo_request::gui_construct_11:
    case zo_request::gui_construct_13:
    case zo_request::gui_add_plug:
    case zo_request::gui_set_capture:
    case zo_request::gui_release_capture:
        return 0;
    case zo_request::gui_get_capture:
        return options_.capture_answer;
    case zo_request::gui_font:
        return fillFont(index, ptr);
    default:
        known = false;
        return 0;
    }
}

zolong Instance::fillFont(zolong context, void* record) {
    ++font_requests_;
    last_font_context_ = context;
    if (record) {
        unsigned char* r = static_cast<unsigned char*>(record);
        std::uint32_t text = options_.text_colour;
        std::int32_t back = options_.background;
        std::int32_t height = options_.font_height;
        std::memcpy(r + 4 * zo_font::text_colour_word, &text, 4);
        std::memcpy(r + 4 * zo_font::background_word, &back, 4);
        std::memcpy(r + 4 * zo_font::height_word, &height, 4);
    }
    return fontForHeight(options_.font_height);
}

}  // namespace zohost
