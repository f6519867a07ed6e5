// The display-side framework: the GUI dispatcher table, mouse flags as the
// bits of opt, the shared pin record, the request wrappers.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "FakeHost.h"
#include "ZOGUI_base.h"

namespace {

std::vector<std::string> g_calls;

class TestGui : public ZOGUI_base {
public:
    explicit TestGui(ZOHostCallback cb = &FakeHost::callback, void* data = nullptr)
        : ZOGUI_base(cb, data) {}
    ~TestGui() override { g_calls.push_back("destructor"); }

    bool idle_answer = false;
    std::vector<ZoGuiPin*> pins;
    std::vector<int> pin_indices;
    HDC painted_dc = nullptr;
    ZOWndInfo* painted_window = nullptr;

    void Initialise(bool flag) override { g_calls.push_back(flag ? "Initialise 1" : "Initialise 0"); }
    void close() override { g_calls.push_back("close"); }
    void paint(HDC dc, ZOWndInfo* w) override {
        painted_dc = dc;
        painted_window = w;
        g_calls.push_back("paint");
    }
    void OnLButtonDown(ZOWndInfo* w, unsigned int flags, zopoint p) override { mouse("down", w, flags, p); }
    void OnLButtonUp(ZOWndInfo* w, unsigned int flags, zopoint p) override { mouse("up", w, flags, p); }
    void OnMouseMove(ZOWndInfo* w, unsigned int flags, zopoint p) override { mouse("move", w, flags, p); }
    void OnWindowOpen(ZOWndInfo*) override { g_calls.push_back("open"); }
    void OnWindowClose(ZOWndInfo*) override { g_calls.push_back("wclose"); }
    bool OnIdle() override {
        g_calls.push_back("idle");
        return idle_answer;
    }
    void OnNewConnection(int i) override { g_calls.push_back("connect " + std::to_string(i)); }
    void OnDisconnect(int i) override { g_calls.push_back("disconnect " + std::to_string(i)); }
    void OnModuleMsg(int id, int size, void* data) override {
        g_calls.push_back("msg " + std::to_string(id) + " " + std::to_string(size) + " " +
                          std::to_string(reinterpret_cast<std::uintptr_t>(data)));
    }
    void OnGuiPinValueChange(ZoGuiPin* pin) override {
        pins.push_back(pin);
        pin_indices.push_back(pin->m_pin_index);
        EXPECT_EQ(pin->m_module, this);
    }

private:
    void mouse(const char* what, ZOWndInfo* w, unsigned int flags, zopoint p) {
        g_calls.push_back(std::string(what) + " " + std::to_string(reinterpret_cast<std::uintptr_t>(w)) +
                          " " + std::to_string(flags) + " " + std::to_string(p.x) + "," +
                          std::to_string(p.y));
    }
};

zolong dispatch(ZOGUI_base* g, zolong opcode, zolong index = 0, zolong value = 0,
                void* ptr = nullptr, float opt = 0.0f) {
    ZOGUI_struct_base* r = g->getRecord();
    return r->dispatcher(r, opcode, index, value, ptr, opt);
}

float bitsAsFloat(std::uint32_t bits) {
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

TEST(GuiDispatcher, OpcodeTable) {
    FakeHost host;
    TestGui g;
    ZOWndInfo window{10, 20, 30};
    const std::uintptr_t w = reinterpret_cast<std::uintptr_t>(&window);
    const struct {
        zolong opcode, index, value;
        void* ptr;
        float opt;
        zolong result;
        std::string call;
    } cases[] = {
        {zo_gui_op::initialise, 1, 0, nullptr, 0, 0, "Initialise 1"},
        {zo_gui_op::initialise, 0, 0, nullptr, 0, 0, "Initialise 0"},
        {zo_gui_op::initialise, 2, 0, nullptr, 0, 0, "Initialise 0"},
        {zo_gui_op::paint, 77, 5, &window, 9.0f, 0, "paint"},
        {zo_gui_op::lbutton_down, -5, 7, &window, bitsAsFloat(1), 0, "down " + std::to_string(w) + " 1 -5,7"},
        {zo_gui_op::lbutton_up, 3, -9, &window, bitsAsFloat(0x80000001u), 0, "up " + std::to_string(w) + " 2147483649 3,-9"},
        {zo_gui_op::mouse_move, 0, 0, &window, bitsAsFloat(0x7FC00000u), 0, "move " + std::to_string(w) + " 2143289344 0,0"},
        {zo_gui_op::module_msg, 32, zo_message::data, reinterpret_cast<void*>(0x50), 0, 0, "msg 1635017060 32 80"},
        {zo_gui_op::window_open, 0, 0, &window, 0, 0, "open"},
        {zo_gui_op::window_close, 0, 0, &window, 0, 0, "wclose"},
        {zo_gui_op::idle, 0, 0, nullptr, 0, 0, "idle"},
        {zo_gui_op::new_connection, 4, 0, nullptr, 0, 0, "connect 4"},
        {zo_gui_op::disconnect, -2, 0, nullptr, 0, 0, "disconnect -2"},
        {zo_gui_op::count, 0, 0, nullptr, 0, 0, ""},
        {-1, 0, 0, nullptr, 0, 0, ""},
        {1000, 0, 0, nullptr, 0, 0, ""},
    };
    for (const auto& c : cases) {
        g_calls.clear();
        EXPECT_EQ(dispatch(&g, c.opcode, c.index, c.value, c.ptr, c.opt), c.result) << c.opcode;
        if (c.call.empty())
            EXPECT_TRUE(g_calls.empty()) << c.opcode;
        else
            EXPECT_EQ(g_calls, std::vector<std::string>{c.call}) << c.opcode;
    }
    // Where a long is 64 bits, an opcode is unknown by its full width: every
    // known opcode with a high word set neither closes nor paints nor calls
    // anything else.
    g.painted_dc = nullptr;
    if (sizeof(zolong) > 4)
        for (std::uint64_t k = zo_gui_op::initialise; k < zo_gui_op::count; ++k)
            for (std::uint64_t high : {std::uint64_t{1} << 32, ~std::uint64_t{0} << 32, std::uint64_t{1} << 63}) {
                g_calls.clear();
                const zolong op = static_cast<zolong>(high | k);
                EXPECT_EQ(dispatch(&g, op, 77, 5, &window, 9.0f), 0) << op;
                EXPECT_TRUE(g_calls.empty()) << op;
            }
    EXPECT_EQ(g.painted_dc, nullptr);
    dispatch(&g, zo_gui_op::paint, 77, 5, &window, 9.0f);
    EXPECT_EQ(reinterpret_cast<zolong>(g.painted_dc), 77);
    EXPECT_EQ(g.painted_window, &window);
    EXPECT_TRUE(host.requests.empty());
}

TEST(GuiDispatcher, IdleAnswer) {
    FakeHost host;
    TestGui g;
    EXPECT_EQ(dispatch(&g, zo_gui_op::idle), 0);
    g.idle_answer = true;
    EXPECT_EQ(dispatch(&g, zo_gui_op::idle), 1);
    struct Plain : ZOGUI_base {
        Plain() : ZOGUI_base(&FakeHost::callback, nullptr) {}
    } plain;
    EXPECT_EQ(dispatch(&plain, zo_gui_op::idle), 0);
}

TEST(GuiDispatcher, CloseThenDestructorAnswersOne) {
    FakeHost host;
    auto* g = new TestGui;
    g_calls.clear();
    EXPECT_EQ(dispatch(g, zo_gui_op::close), 1);
    EXPECT_EQ(g_calls, (std::vector<std::string>{"close", "destructor"}));
    EXPECT_TRUE(host.requests.empty());
}

TEST(GuiDispatcher, SharedPinRecord) {
    FakeHost host;
    TestGui a, b;
    dispatch(&a, zo_gui_op::pin_value_change, 3);
    dispatch(&a, zo_gui_op::pin_value_change, 4);
    ASSERT_EQ(a.pins.size(), 2u);
    EXPECT_EQ(a.pins[0], a.pins[1]);
    EXPECT_EQ(a.pin_indices, (std::vector<int>{3, 4}));
    dispatch(&b, zo_gui_op::pin_value_change, 9);
    ASSERT_EQ(b.pins.size(), 1u);
    EXPECT_EQ(b.pins[0], a.pins[0]) << "one record for the whole library";
    EXPECT_EQ(a.pins[0]->m_module, &b);
}

TEST(GuiFramework, RecordWords) {
    FakeHost host;
    int data = 0;
    TestGui g(&FakeHost::callback, &data);
    const auto* r = g.getRecord();
    EXPECT_EQ(std::memcmp(r, "MPOZ", 4), 0);
    EXPECT_EQ(r->version, 1);
    EXPECT_EQ(r->host_data, &data);
    EXPECT_EQ(r->object, static_cast<ZOGUI_base*>(&g));
    for (std::int32_t w : r->reserved) EXPECT_EQ(w, 0);
}

TEST(GuiFramework, RequestWrappers) {
    FakeHost host;
    TestGui g;
    ZOWndInfo window{1, 2, 3};
    zolong capture_answer = -1;
    host.answers[zo_request::gui_get_capture] = [&](zolong) { return capture_answer; };
    g.AddGuiPlug(DT_FSAMPLE, DR_OUT, "out");
    g.SetCapture(&window);
    g.ReleaseCapture(&window);
    EXPECT_TRUE(g.GetCapture(&window));
    capture_answer = 0;
    EXPECT_FALSE(g.GetCapture(&window));
    ASSERT_EQ(host.requests.size(), 5u);
    EXPECT_EQ(host.requests[0].opcode, zo_request::gui_add_plug);
    EXPECT_EQ(host.requests[0].index, DT_FSAMPLE);
    EXPECT_EQ(host.requests[0].value, DR_OUT);
    EXPECT_STREQ(static_cast<const char*>(host.requests[0].ptr), "out");
    const zolong expected[] = {zo_request::gui_add_plug, zo_request::gui_set_capture,
                               zo_request::gui_release_capture, zo_request::gui_get_capture,
                               zo_request::gui_get_capture};
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(host.requests[i].opcode, expected[i]);
        EXPECT_EQ(host.requests[i].record, g.getRecord());
        EXPECT_EQ(host.requests[i].opt, 0.0f);
        if (i > 0) {
            EXPECT_EQ(host.requests[i].ptr, &window);
        }
    }
}

TEST(GuiFramework, NullCallbackIsReportedAndSendsNothing) {
    ContractCatcher catcher;
    TestGui g(nullptr);
    EXPECT_EQ(g.CallHost(zo_request::gui_repaint, 0, 0, nullptr, 0.0f), 0);
    EXPECT_FALSE(g.GetCapture(nullptr));
    ASSERT_EQ(ContractCatcher::reports().size(), 2u);
    EXPECT_EQ(ContractCatcher::reports()[0].expression, "zoaudioMaster");
    EXPECT_EQ(ContractCatcher::reports()[0].source, "ZOGUI_base");
}

TEST(GuiFramework, ZopointCopiesBothCoordinates) {
    zopoint a(-3, 8);
    zopoint b(a);
    EXPECT_EQ(b.x, -3);
    EXPECT_EQ(b.y, 8);
}

}  // namespace
