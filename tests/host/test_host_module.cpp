// The host against the real module: its description, entry points, record
// words as the host sees them, and captures that do not depend on how the
// host cuts its blocks.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "ScopeCaptures.h"
#include "scopedata.h"
#include "zohost/Describe.h"
#include "zohost/Instance.h"
#include "zohost/ModuleLibrary.h"

using namespace zohost;

class RealModule : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(library.load(ZO_MODULE_PATH)) << library.error(); }
    ModuleLibrary library;
};

TEST_F(RealModule, DescribesItselfAndItsEightPins) {
    ModuleDescription d;
    std::string error;
    ASSERT_TRUE(describeModule(library, d, error)) << error;
    EXPECT_EQ(d.name, "Ondix2");
    EXPECT_EQ(d.id, "Tovalinth Ondix2");
    EXPECT_FALSE(d.about.empty());
    EXPECT_EQ(d.flags, 0x42);
    EXPECT_EQ(d.gui_flags, 0x180);
    EXPECT_EQ(d.sdk_version, 2180);

    struct Pin {
        const char* name;
        std::int32_t direction, type;
        const char* default_value;
        const char* list;
    } want[] = {
        {"Signal A", 0, DT_FSAMPLE, "0", nullptr},
        {"Signal B", 0, DT_FSAMPLE, "0", nullptr},
        {"Time", 0, DT_FSAMPLE, "5", nullptr},
        {"Y-Scale", 0, DT_FSAMPLE, "1", nullptr},
        {"X-Y-Mode", 0, DT_ENUM, "0", "Aus=0,X-Y=1,Y-X=2"},
        {"Trigger", 0, DT_ENUM, "1", "Aus=0,InputA=1,InputB=2,Auto=3,EXT=4"},
        {"EXT-Trigger", 0, DT_FSAMPLE, "0", nullptr},
        {"Time-Mode", 3, DT_ENUM, "1", "V/KHz=0,V/Oktave=1,V/zehntel Sek.=2,V/1000 Samples"},
    };
    ASSERT_EQ(d.pins.size(), 8u);
    for (std::size_t i = 0; i < 8; ++i) {
        const PinDescription& p = d.pins[i];
        EXPECT_EQ(p.name, want[i].name);
        EXPECT_EQ(p.direction, want[i].direction) << p.name;
        EXPECT_EQ(p.data_type, want[i].type) << p.name;
        EXPECT_EQ(p.default_value, want[i].default_value) << p.name;
        EXPECT_EQ(p.has_list, want[i].list != nullptr) << p.name;
        if (want[i].list) {
            EXPECT_EQ(p.list_text, want[i].list) << p.name;
        }
        EXPECT_EQ(p.flags, 0) << p.name;
        EXPECT_NE(p.variable_address, nullptr) << p.name;
        EXPECT_EQ(d.positions[i], static_cast<int>(i));
    }
    EXPECT_EQ(d.pins[7].choices().back().value, 3);
}

TEST_F(RealModule, DescriptionWritesSixWordsAndNothingElse) {
    const unsigned char sentinel = 0xA5;
    const std::size_t end = offsetof(ZOModuleProperties, sdk_version) + 4;
    for (zolong index : {0, 1, 2, -1}) {
        unsigned char raw[64];
        std::memset(raw, sentinel, sizeof raw);
        ZOModuleProperties* p = reinterpret_cast<ZOModuleProperties*>(raw);
        EXPECT_EQ(library.getModuleProperties(index, p), index == 0 ? 1 : 0) << index;
        EXPECT_EQ(p->sdk_version, 2180) << index;
        for (std::size_t i = end; i < sizeof raw; ++i) EXPECT_EQ(raw[i], sentinel) << "byte " << i;
        if (index != 0) {
            // Only the version word was written.
            for (std::size_t i = 0; i < offsetof(ZOModuleProperties, sdk_version); ++i)
                EXPECT_EQ(raw[i], sentinel) << "index " << index << " byte " << i;
        }
    }
}

TEST_F(RealModule, MakeModuleRefusesOtherIndicesAndTypes) {
    const zolong bad[][2] = {{1, 1}, {1, 2}, {-1, 1}, {0, 0}, {0, 3}, {0, -1}, {0, 1000}};
    for (const auto& b : bad)
        EXPECT_EQ(library.makeModule(b[0], b[1], &Instance::hostCallback, nullptr), nullptr)
            << b[0] << "," << b[1];
}

TEST_F(RealModule, RecordWordsAsTheHostSeesThem) {
    Instance inst(library);
    const unsigned char* a = reinterpret_cast<const unsigned char*>(inst.audioRecord());
    const unsigned char audio_magic[] = {0x4C, 0x50, 0x4F, 0x5A};
    EXPECT_EQ(std::memcmp(a, audio_magic, 4), 0);
    const ZOMod_struct_base2& ar = *inst.audioRecord();
    EXPECT_EQ(ar.version, 1);
    EXPECT_EQ(ar.host_data, &inst);
    EXPECT_NE(ar.object, nullptr);
    EXPECT_EQ(ar.reserved0, 0);
    EXPECT_NE(ar.dispatcher, nullptr);
    EXPECT_NE(ar.process, nullptr);
    EXPECT_NE(ar.event_handler, nullptr);
    for (std::size_t i = offsetof(ZOMod_struct_base2, reserved); i < sizeof ar; ++i)
        EXPECT_EQ(a[i], 0) << "audio byte " << i;
    // The record lies inside the object its object word names.
    std::ptrdiff_t inside = a - static_cast<const unsigned char*>(ar.object);
    EXPECT_GE(inside, 0);
    EXPECT_LT(inside, 256);

    const unsigned char* g = reinterpret_cast<const unsigned char*>(inst.displayRecord());
    const unsigned char gui_magic[] = {0x4D, 0x50, 0x4F, 0x5A};
    EXPECT_EQ(std::memcmp(g, gui_magic, 4), 0);
    const ZOGUI_struct_base& gr = *inst.displayRecord();
    EXPECT_EQ(gr.version, 1);
    EXPECT_EQ(gr.host_data, &inst);
    EXPECT_NE(gr.dispatcher, nullptr);
    EXPECT_NE(gr.object, nullptr);
    for (std::size_t i = offsetof(ZOGUI_struct_base, reserved); i < sizeof gr; ++i)
        EXPECT_EQ(g[i], 0) << "display byte " << i;
    inside = g - static_cast<const unsigned char*>(gr.object);
    EXPECT_GE(inside, 0);
    EXPECT_LT(inside, 256);
}

namespace {
// The info opcode's record as the host reads it.
struct InfoView {
    std::int32_t word0;
    std::int32_t word1;
    const void* delegate;
    std::int32_t word3;
};
}  // namespace

TEST_F(RealModule, InfoRecordIsSharedAndDescribesTheLastObjectAsked) {
    Instance a(library), b(library);
    zolong ia = a.audioCall(zo_audio_op::info);
    ASSERT_NE(ia, 0);
    const InfoView* info = reinterpret_cast<const InfoView*>(ia);
    EXPECT_EQ(info->word0, zo_info::word0);
    EXPECT_EQ(info->word1, zo_info::word1);
    EXPECT_EQ(info->word3, zo_info::word3);
    const void* da = info->delegate;
    zolong ib = b.audioCall(zo_audio_op::info);
    EXPECT_EQ(ib, ia);
    const void* db = info->delegate;
    EXPECT_NE(da, db);
    // The same member of each object.
    auto offset = [](const void* p, const void* object) {
        return static_cast<const char*>(p) - static_cast<const char*>(object);
    };
    EXPECT_EQ(offset(da, a.audioRecord()->object), offset(db, b.audioRecord()->object));
}

TEST_F(RealModule, OpcodeOneEndsBothObjects) {
    Instance inst(library);
    inst.processBlock(64);
    EXPECT_EQ(inst.destroyAudio(), 1);
    EXPECT_EQ(inst.destroyDisplay(), 1);
    EXPECT_FALSE(inst.hasAudio());
    EXPECT_FALSE(inst.hasDisplay());
}

namespace {

struct Copied {
    std::uint64_t clock;
    T_SCOPE scope;
    std::vector<float> samples;
};

// One second of two sines through the scope, with the given host setup.
std::vector<Copied> captures(const ModuleLibrary& library, const BlockSplitter& split, bool display,
                              Delivery delivery = Delivery::Immediate) {
    InstanceOptions o;
    o.block_size = 256;
    o.display = display;
    o.log_requests = false;
    o.messages.delivery = delivery;
    o.messages.self_ack_without_display = true;
    ScopeInstance inst(library, o);
    auto sine = [](double hz, double amp) {
        return Signal::generator([hz, amp](std::uint64_t first, float* out, int n) {
            for (int i = 0; i < n; ++i)
                out[i] = static_cast<float>(
                    amp * std::sin(2.0 * 3.141592653589793 * hz * static_cast<double>(first + static_cast<std::uint64_t>(i)) / 44100.0));
        });
    };
    inst.setSignal("Signal A", sine(441.0, 0.5));
    inst.setSignal("Signal B", sine(882.0, 0.25));
    inst.setSignal("Time", Signal::constant(0.3f));
    inst.applyDefaults();
    inst.setSplitter(split);
    inst.run(44100);
    std::vector<Copied> out;
    for (const zohost::Capture* r : inst.captures())
        out.push_back(Copied{r->clock, r->scope, r->samples});
    return out;
}

void expectSame(const std::vector<Copied>& a, const std::vector<Copied>& b, const char* what) {
    ASSERT_EQ(a.size(), b.size()) << what;
    // The clock at sending is where the host's current part began, so it
    // follows the cuts; the captures themselves must not.
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (i > 0) {
            EXPECT_GE(b[i].clock, b[i - 1].clock) << what;
        }
        EXPECT_EQ(a[i].scope.ScopeSize, b[i].scope.ScopeSize) << what << " capture " << i;
        EXPECT_EQ(std::memcmp(&a[i].scope.Channel_Active, &b[i].scope.Channel_Active, 2), 0) << what;
        EXPECT_EQ(a[i].scope.Time, b[i].scope.Time) << what;
        EXPECT_EQ(a[i].scope.Trigger, b[i].scope.Trigger) << what;
        EXPECT_EQ(a[i].samples, b[i].samples) << what << " capture " << i;
    }
}

}  // namespace

TEST_F(RealModule, CapturesFlowAndDoNotDependOnBlockCuts) {
    std::vector<Copied> whole = captures(library, BlockSplitter(), true);
    ASSERT_GT(whole.size(), 2u) << "acknowledged captures keep coming";
    for (const Copied& c : whole) {
        EXPECT_GT(c.scope.ScopeSize, 0);
        EXPECT_EQ(c.samples.size(), 2 * static_cast<std::size_t>(c.scope.ScopeSize));
        EXPECT_TRUE(c.scope.Channel_Active[0]);
        EXPECT_TRUE(c.scope.Channel_Active[1]);
    }
    expectSame(whole, captures(library, BlockSplitter::pattern({1, 0, 3, 100}), true), "pattern");
    expectSame(whole, captures(library, BlockSplitter::random(7, 37), true), "random");
    // The host's own acknowledgement times like a display that answers at once.
    expectSame(whole, captures(library, BlockSplitter::random(8, 300), false), "self-ack");
}

TEST_F(RealModule, QueuedDeliveryStillCarriesCaptures) {
    std::vector<Copied> queued = captures(library, BlockSplitter(), true, Delivery::Queued);
    EXPECT_GT(queued.size(), 2u);
    expectSame(queued, captures(library, BlockSplitter::random(9, 50), true, Delivery::Queued), "queued");
}
