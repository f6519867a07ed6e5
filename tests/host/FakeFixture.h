// Loads the fake module for a test and gives access to its control block.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <vector>

#include "FakeControl.h"
#include "zohost/Instance.h"
#include "zohost/ModuleLibrary.h"

struct FakePinDef {
    const char* name;
    std::int32_t direction;
    std::int32_t data_type;
    std::int32_t flags;
    bool bind;
    const char* default_value;
    const char* list_text;
};

// A table with every kind of pin the host stores: two inputs, a list
// parameter, an output, an 8-bit and a 32-bit value.
inline std::vector<FakePinDef> standardPins() {
    return {
        {"In A", DR_IN, DT_FSAMPLE, 0, true, "5", ""},
        {"In B", DR_IN, DT_FSAMPLE, 0, true, "0", ""},
        {"Mode", DR_PARAMETER, DT_ENUM, 0, true, "1", "Off=0,On=1,Auto"},
        {"Out", DR_OUT, DT_FSAMPLE, 0, true, "", ""},
        {"Byte", DR_IN, DT_CHAR, 0, true, "7", ""},
        {"Word", DR_IN, DT_INT, 0, true, "-3", ""},
    };
}

class FakeModuleTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(library.load(ZO_FAKE_MODULE)) << library.error();
        auto control = reinterpret_cast<FakeControlFn>(library.symbol("fake_control"));
        request = reinterpret_cast<FakeRequestFn>(library.symbol("fake_request"));
        ASSERT_NE(control, nullptr);
        ASSERT_NE(request, nullptr);
        fake = control();
        std::memset(fake, 0, sizeof *fake);
        fake->send_at_call = -1;
        setPins(standardPins());
    }

    void setPins(const std::vector<FakePinDef>& pins) {
        fake->pin_descriptions = static_cast<std::int32_t>(pins.size());
        for (std::size_t i = 0; i < pins.size() && i < FAKE_MAX_PINS; ++i) {
            FakePin& p = fake->pins[i];
            std::memset(&p, 0, sizeof p);
            p.direction = pins[i].direction;
            p.data_type = pins[i].data_type;
            p.flags = pins[i].flags;
            p.bind = pins[i].bind ? 1 : 0;
            std::strncpy(p.name, pins[i].name, sizeof p.name - 1);
            std::strncpy(p.default_value, pins[i].default_value, sizeof p.default_value - 1);
            std::strncpy(p.list_text, pins[i].list_text, sizeof p.list_text - 1);
        }
    }

    // Calls of the fake of these kinds, in order; object 0 means any.
    std::vector<FakeCall> calls(std::initializer_list<std::int32_t> kinds, std::int32_t object = 0) const {
        std::vector<FakeCall> out;
        for (std::int32_t i = 0; i < fake->call_count; ++i) {
            const FakeCall& c = fake->calls[i];
            if (object && c.object != object) continue;
            for (std::int32_t k : kinds)
                if (c.kind == k) out.push_back(c);
        }
        return out;
    }

    std::vector<FakeCall> audioOps(zolong opcode) const {
        std::vector<FakeCall> out;
        for (const FakeCall& c : calls({FK_AUDIO_OP}))
            if (c.opcode == opcode) out.push_back(c);
        return out;
    }

    std::vector<FakeCall> guiOps(zolong opcode) const {
        std::vector<FakeCall> out;
        for (const FakeCall& c : calls({FK_GUI_OP}))
            if (c.opcode == opcode) out.push_back(c);
        return out;
    }

    // An event sent by the instance's audio object, as the module would send it.
    void addEvent(zohost::Instance& inst, std::uint32_t stamp, std::int32_t type, std::int32_t v1 = 0,
                  std::int32_t v2 = 0) {
        ZoEvent e(stamp, type, v1, v2, nullptr);
        request(inst.audioRecord(), zo_request::add_event, 0, 0, &e, 0.0f);
    }

    zohost::ModuleLibrary library;  // declared first: outlives every instance of a test
    FakeControl* fake = nullptr;
    FakeRequestFn request = nullptr;
};
