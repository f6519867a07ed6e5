// The host's parts on their own: event queue, list texts, pin layout,
// splitting, request log, signals and the description text.
#include <gtest/gtest.h>

#include <climits>
#include <set>
#include <vector>

#include "zohost/BlockSplitter.h"
#include "zohost/Describe.h"
#include "zohost/EventQueue.h"
#include "zohost/PinTable.h"
#include "zohost/RequestLog.h"
#include "zohost/Signal.h"

using namespace zohost;

namespace {

ZoEvent event(std::uint32_t stamp, std::int32_t tag) { return ZoEvent(stamp, zo_event::pin_status, tag, 0, nullptr); }

std::vector<std::int32_t> drainTags(EventQueue& q, std::uint64_t now) {
    std::vector<std::int32_t> out;
    ZoEvent e;
    while (q.popDue(now, e)) out.push_back(e.int_value1);
    return out;
}

}  // namespace

TEST(EventQueue, EarliestFirstAndArrivalOrderForEqualStamps) {
    EventQueue q(2);  // small capacity: growth must keep the order
    const std::uint32_t stamps[] = {30, 10, 20, 10, 30, 10, 0};
    for (std::int32_t i = 0; i < 7; ++i) q.push(event(stamps[i], i), 0);
    EXPECT_EQ(q.nextDue(), 0u);
    EXPECT_EQ(drainTags(q, 15), (std::vector<std::int32_t>{6, 1, 3, 5}));
    EXPECT_EQ(drainTags(q, 29), (std::vector<std::int32_t>{2}));
    EXPECT_EQ(drainTags(q, 100), (std::vector<std::int32_t>{0, 4}));
    EXPECT_TRUE(q.empty());
}

TEST(EventQueue, StampsAreReadAroundTheClockAcrossTheWrap) {
    const std::uint64_t wrap = 1ull << 32;
    struct Case {
        std::uint32_t stamp;
        std::uint64_t now;
        std::uint64_t due;
    } cases[] = {
        {5, 100, 5},                             // late
        {150, 100, 150},                         // ahead
        {5, wrap - 10, wrap + 5},                // ahead, past the wrap
        {0xFFFFFFF0u, wrap + 3, wrap - 16},      // late, before the wrap
        {7, 3 * wrap + 1, 3 * wrap + 7},         // many wraps later
        {0xFFFFFFFFu, 2, 0},                     // before the clock began
    };
    for (const Case& c : cases)
        EXPECT_EQ(EventQueue::dueFromStamp(c.stamp, c.now), c.due) << c.stamp << " at " << c.now;
}

TEST(EventQueue, PoppedEventIsACopyWithoutLink) {
    EventQueue q;
    ZoEvent e(4, zo_event::midi, 3, 4, reinterpret_cast<void*>(0x1234));
    e.next = &e;
    q.push(e, 0);
    e.int_value1 = 99;
    ZoEvent out;
    std::uint64_t due = 0;
    ASSERT_TRUE(q.popDue(4, out, &due));
    EXPECT_EQ(due, 4u);
    EXPECT_EQ(out.int_value1, 3);
    EXPECT_EQ(out.int_value2, 4);
    EXPECT_EQ(out.ptr_value, reinterpret_cast<void*>(0x1234));
    EXPECT_EQ(out.next, nullptr);
}

TEST(ListText, ChoicesAndImplicitValues) {
    struct Case {
        const char* text;
        std::vector<std::pair<std::string, int>> want;
    } cases[] = {
        {"", {}},
        {"Aus=0,X-Y=1,Y-X=2", {{"Aus", 0}, {"X-Y", 1}, {"Y-X", 2}}},
        {"V/KHz=0,V/Oktave=1,V/zehntel Sek.=2,V/1000 Samples",
         {{"V/KHz", 0}, {"V/Oktave", 1}, {"V/zehntel Sek.", 2}, {"V/1000 Samples", 3}}},
        {"a,b,c=7,d", {{"a", 0}, {"b", 1}, {"c", 7}, {"d", 8}}},
        {"x=y=4,z=", {{"x=y", 4}, {"z=", 5}}},
        {"neg=-2,next", {{"neg", -2}, {"next", -1}}},
    };
    for (const Case& c : cases) {
        std::vector<PinChoice> got = parseListText(c.text);
        ASSERT_EQ(got.size(), c.want.size()) << c.text;
        for (std::size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].label, c.want[i].first) << c.text;
            EXPECT_EQ(got[i].value, c.want[i].second) << c.text;
        }
    }
}

namespace {

PinDescription desc(int index, std::int32_t type, std::int32_t flags, void* var) {
    PinDescription d;
    d.index = index;
    d.data_type = type;
    d.flags = flags;
    d.variable_address = var;
    d.name = "p" + std::to_string(index);
    return d;
}

}  // namespace

TEST(PinLayout, PositionsFollowTheFrameworksCounting) {
    int v[4];
    const std::int32_t ui = IO_UI_COMMUNICATION;
    const std::int32_t uidsp = IO_UI_COMMUNICATION | IO_UI_WITH_DSP_PIN;
    struct Case {
        const char* what;
        std::vector<PinDescription> table;
        int count;
        // per position: description index (-1 none), repeated, has variable
        std::vector<std::tuple<int, bool, bool>> want;
        int described;
    } cases[] = {
        {"plain", {desc(0, DT_FSAMPLE, 0, &v[0]), desc(1, DT_ENUM, 0, &v[1])}, 2,
         {{0, false, true}, {1, false, true}}, 2},
        {"GUI-only takes no position", {desc(0, 5, 0, &v[0]), desc(1, 5, ui, &v[1]), desc(2, 5, 0, &v[2])}, 2,
         {{0, false, true}, {2, false, true}}, 2},
        {"GUI with DSP pin takes one", {desc(0, 5, 0, &v[0]), desc(1, 5, uidsp, &v[1]), desc(2, 5, 0, &v[2])}, 3,
         {{0, false, true}, {1, false, true}, {2, false, true}}, 3},
        {"repeating last fills the rest", {desc(0, 0, 0, &v[0]), desc(1, 5, IO_REPEATING, &v[1])}, 5,
         {{0, false, true}, {1, false, true}, {1, true, false}, {1, true, false}, {1, true, false}}, 2},
        {"repeating flag not on the last", {desc(0, 5, IO_REPEATING, &v[0]), desc(1, 5, 0, &v[1])}, 3,
         {{0, false, true}, {1, false, true}, {-1, false, false}}, 2},
        {"GUI-only last stops repetition", {desc(0, 5, IO_REPEATING, &v[0]), desc(1, 5, ui | IO_REPEATING, &v[1])}, 2,
         {{0, false, true}, {-1, false, false}}, 1},
        {"fewer positions than descriptions", {desc(0, 5, 0, &v[0]), desc(1, 5, 0, &v[1]), desc(2, 5, 0, &v[2])}, 1,
         {{0, false, true}}, 3},
        {"no positions", {desc(0, 5, 0, &v[0])}, 0, {}, 1},
        {"empty table", {}, 2, {{-1, false, false}, {-1, false, false}}, 0},
    };
    for (const Case& c : cases) {
        PinTable t(c.table);
        EXPECT_EQ(t.describedPins(), c.described) << c.what;
        t.layout(c.count);
        ASSERT_EQ(t.count(), static_cast<int>(c.want.size())) << c.what;
        for (std::size_t p = 0; p < c.want.size(); ++p) {
            const PinSlot& s = t.slots()[p];
            EXPECT_EQ(s.position, static_cast<int>(p)) << c.what;
            EXPECT_EQ(s.description, std::get<0>(c.want[p])) << c.what << " pos " << p;
            EXPECT_EQ(s.repeated, std::get<1>(c.want[p])) << c.what << " pos " << p;
            EXPECT_EQ(s.variable != nullptr, std::get<2>(c.want[p])) << c.what << " pos " << p;
            if (s.description >= 0 && !s.repeated) {
                EXPECT_EQ(s.variable, c.table[static_cast<std::size_t>(s.description)].variable_address);
            }
        }
    }
}

TEST(PinLayout, FindByNameGivesThePosition) {
    PinTable t({desc(0, 5, IO_UI_COMMUNICATION, nullptr), desc(1, 5, 0, nullptr), desc(2, 0, 0, nullptr)});
    t.layout(2);
    EXPECT_EQ(t.find("p1"), 0);
    EXPECT_EQ(t.find("p2"), 1);
    EXPECT_EQ(t.find("p0"), -1);  // no position
    EXPECT_EQ(t.find("nope"), -1);
    EXPECT_EQ(t.descriptionAt(1)->index, 2);
    EXPECT_EQ(t.descriptionAt(2), nullptr);
}

TEST(BlockSplitter, PatternIsUsedInTurnAcrossCalls) {
    BlockSplitter s = BlockSplitter::pattern({3, 0, 1});
    std::vector<int> got;
    for (int i = 0; i < 7; ++i) got.push_back(s.next());
    EXPECT_EQ(got, (std::vector<int>{3, 0, 1, 3, 0, 1, 3}));
    EXPECT_FALSE(BlockSplitter().active());
    EXPECT_EQ(BlockSplitter().next(), INT_MAX);
}

TEST(BlockSplitter, RejectsPatternsThatCannotAdvance) {
    EXPECT_THROW(BlockSplitter::pattern({}), std::invalid_argument);
    EXPECT_THROW(BlockSplitter::pattern({0, 0}), std::invalid_argument);
    EXPECT_THROW(BlockSplitter::pattern({4, -1}), std::invalid_argument);
    EXPECT_THROW(BlockSplitter::random(1, 0), std::invalid_argument);
}

TEST(BlockSplitter, RandomIsRepeatableAndCoversZeroOneAndMax) {
    BlockSplitter a = BlockSplitter::random(42, 9), b = BlockSplitter::random(42, 9),
                  c = BlockSplitter::random(43, 9);
    std::vector<int> sa, sb, sc;
    for (int i = 0; i < 2000; ++i) {
        sa.push_back(a.next());
        sb.push_back(b.next());
        sc.push_back(c.next());
    }
    EXPECT_EQ(sa, sb);
    EXPECT_NE(sa, sc);
    std::set<int> seen(sa.begin(), sa.end());
    EXPECT_EQ(*seen.begin(), 0);
    EXPECT_EQ(*seen.rbegin(), 9);
    EXPECT_EQ(seen.size(), 10u);  // every length 0..9
}

TEST(RequestLog, LimitDisableClearAndAnswers) {
    RequestLog log(3);
    RequestEntry e{Side::Audio, true, nullptr, 3, 0, 0, nullptr, 0.0f, 0, 0};
    std::size_t first = log.add(e);
    const zolong code = 7;  // any number: the log does not read it
    e.opcode = code;
    log.add(e);
    e.side = Side::Display;
    log.add(e);
    EXPECT_EQ(log.add(e), RequestLog::npos);
    EXPECT_EQ(log.size(), 3u);
    EXPECT_EQ(log.dropped(), 1u);
    log.answer(first, 77, false);
    EXPECT_EQ(log.entries()[0].answer, 77);
    EXPECT_FALSE(log.entries()[0].known);
    EXPECT_EQ(log.count(Side::Audio, code), 1u);
    EXPECT_EQ(log.find(Side::Display, code).size(), 1u);
    log.clear();
    log.answer(first, 1, true);  // a slot gone by clear() is ignored
    EXPECT_EQ(log.size(), 0u);
    log.setEnabled(false);
    EXPECT_EQ(log.add(e), RequestLog::npos);
    EXPECT_EQ(log.size(), 0u);
    EXPECT_EQ(log.dropped(), 0u);
}

TEST(Signal, KindsFillBlocks) {
    float out[6];
    Signal none;
    none.fill(0, out, 6, 0.25f);
    EXPECT_FLOAT_EQ(out[5], 0.25f);
    EXPECT_FALSE(none.present());

    Signal k = Signal::constant(-1.5f);
    k.fill(0, out, 6, 0.0f);
    EXPECT_FLOAT_EQ(out[0], -1.5f);

    Signal clocked = Signal::perSample([](std::uint64_t c) { return static_cast<float>(c); });
    clocked.fill(100, out, 3, 0.0f);
    EXPECT_EQ((std::vector<float>(out, out + 3)), (std::vector<float>{100, 101, 102}));

    Signal once = Signal::samples({1, 2, 3, 4});
    once.fill(0, out, 3, 9.0f);
    once.fill(3, out + 3, 3, 9.0f);
    EXPECT_EQ((std::vector<float>(out, out + 6)), (std::vector<float>{1, 2, 3, 4, 0, 0}));

    Signal looped = Signal::samples({1, 2, 3}, true);
    looped.fill(0, out, 4, 0.0f);
    looped.fill(4, out + 4, 2, 0.0f);
    EXPECT_EQ((std::vector<float>(out, out + 6)), (std::vector<float>{1, 2, 3, 1, 2, 3}));

    const float shared[] = {5, 6, 7};
    Signal view = Signal::view(shared, 3, true);
    Signal copy = view;  // a copy keeps its own place
    view.fill(0, out, 4, 0.0f);
    EXPECT_EQ((std::vector<float>(out, out + 4)), (std::vector<float>{5, 6, 7, 5}));
    copy.fill(0, out, 2, 0.0f);
    EXPECT_EQ((std::vector<float>(out, out + 2)), (std::vector<float>{5, 6}));
    Signal owned = Signal::samples({1, 2});
    Signal owned_copy = owned;  // the copy reads its own vector
    owned = Signal();
    owned_copy.fill(0, out, 3, 0.0f);
    EXPECT_EQ((std::vector<float>(out, out + 3)), (std::vector<float>{1, 2, 0}));

    out[0] = 42.0f;
    Signal::manual().fill(0, out, 6, 0.0f);
    EXPECT_FLOAT_EQ(out[0], 42.0f);
}

TEST(Describe, NamesAndText) {
    EXPECT_EQ(flagNames(0), "-");
    EXPECT_EQ(flagNames(IO_REPEATING | IO_PATCH_STORE | 0x3), "IO_REPEATING|IO_PATCH_STORE|0x3");
    EXPECT_EQ(directionName(DR_OUT), "out");
    EXPECT_EQ(directionName(9), "9");
    EXPECT_EQ(dataTypeName(DT_FSAMPLE), "samples");
    EXPECT_EQ(dataTypeName(11), "type11");

    ModuleDescription d;
    d.name = "N";
    d.flags = 0x42;
    d.sdk_version = 2180;
    PinDescription p = desc(0, DT_ENUM, 0, nullptr);
    p.name = "Mode";
    p.direction = DR_PARAMETER;
    p.has_list = true;
    p.list_text = "Off=0,On=1";
    p.has_default = true;
    p.default_value = "1";
    d.pins.push_back(p);
    d.positions.push_back(0);
    std::string text = formatDescription(d);
    EXPECT_NE(text.find("flags:       0x42"), std::string::npos) << text;
    EXPECT_NE(text.find("sdk_version: 2180"), std::string::npos) << text;
    EXPECT_NE(text.find("  index  pos  name    dir    type  default  flags\n"), std::string::npos) << text;
    EXPECT_NE(text.find("  0      0    \"Mode\"  param  list  \"1\"      -\n"), std::string::npos) << text;
    EXPECT_NE(text.find("choices: 0 \"Off\", 1 \"On\"\n"), std::string::npos) << text;
}
