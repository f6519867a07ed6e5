// Loading, failing to load, unloading and reloading module files.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "FakeControl.h"
#include "zohost/Describe.h"
#include "zohost/Instance.h"
#include "zohost/ModuleLibrary.h"

using namespace zohost;

TEST(ModuleLibrary, ResolvesBothEntryPoints) {
    ModuleLibrary lib(ZO_FAKE_MODULE);
    ASSERT_TRUE(lib.loaded()) << lib.error();
    EXPECT_TRUE(lib.error().empty());
    EXPECT_NE(lib.getModulePropertiesEntry(), nullptr);
    EXPECT_NE(lib.makeModuleEntry(), nullptr);
    ZOModuleProperties p{};
    EXPECT_EQ(lib.getModuleProperties(0, &p), 1);
    EXPECT_STREQ(p.name, "Fake");
    EXPECT_EQ(lib.symbol("no_such_symbol"), nullptr);
}

TEST(ModuleLibrary, FailuresSayWhatAndLeaveNothingLoaded) {
    std::string text_file = ::testing::TempDir() + "zohost_not_a_library.zom";
    std::ofstream(text_file) << "plain text, not a library\n";
    struct Case {
        std::string path;
        std::string mentions;
    } cases[] = {
        {::testing::TempDir() + "zohost_missing.zom", "zohost_missing.zom"},
        {text_file, "zohost_not_a_library.zom"},
        {ZO_FAKE_NOMAKE, "does not export makeModule"},
    };
    for (const Case& c : cases) {
        ModuleLibrary lib;
        EXPECT_FALSE(lib.load(c.path)) << c.path;
        EXPECT_FALSE(lib.loaded());
        EXPECT_NE(lib.error().find(c.mentions), std::string::npos) << lib.error();
        EXPECT_EQ(lib.makeModule(zo_object::library_index, zo_object::audio, nullptr, nullptr), nullptr);
        ZOModuleProperties p{};
        EXPECT_EQ(lib.getModuleProperties(0, &p), 0);
    }
    std::remove(text_file.c_str());
}

TEST(ModuleLibrary, FailedLoadUnloadsThePreviousModule) {
    ModuleLibrary lib(ZO_FAKE_MODULE);
    ASSERT_TRUE(lib.loaded());
    EXPECT_FALSE(lib.load(ZO_FAKE_NOMAKE));
    EXPECT_FALSE(lib.loaded());
    EXPECT_EQ(lib.symbol("fake_control"), nullptr);
}

TEST(ModuleLibrary, UnloadAndReloadStartsTheModuleAfresh) {
    ModuleLibrary lib(ZO_FAKE_MODULE);
    ASSERT_TRUE(lib.loaded());
    auto control = reinterpret_cast<FakeControlFn>(lib.symbol("fake_control"));
    control()->initialised = 1;
    {
        Instance inst(lib);
        inst.processBlock(16);
        EXPECT_EQ(control()->objects_alive, 2);
    }
    EXPECT_EQ(control()->objects_alive, 0);
    lib.unload();
    EXPECT_FALSE(lib.loaded());
    EXPECT_EQ(lib.makeModule(zo_object::library_index, zo_object::audio, nullptr, nullptr), nullptr);

    ASSERT_TRUE(lib.load(ZO_FAKE_MODULE)) << lib.error();
    control = reinterpret_cast<FakeControlFn>(lib.symbol("fake_control"));
    // The library's data was set up anew: it really was unloaded.
    EXPECT_EQ(control()->initialised, 0);
    Instance again(lib);
    again.processBlock(16);
    EXPECT_EQ(control()->objects_made, 2);
}

TEST(ModuleLibrary, MovedLibraryKeepsTheModule) {
    ModuleLibrary a(ZO_FAKE_MODULE);
    ModuleLibrary b(std::move(a));
    EXPECT_FALSE(a.loaded());
    ASSERT_TRUE(b.loaded());
    ZOModuleProperties p{};
    EXPECT_EQ(b.getModuleProperties(0, &p), 1);
}

TEST(Describe, ReadsTheFakeModule) {
    ModuleLibrary lib(ZO_FAKE_MODULE);
    auto control = reinterpret_cast<FakeControlFn>(lib.symbol("fake_control"));
    FakeControl* f = control();
    f->pin_descriptions = 2;
    f->pins[0] = FakePin{DR_IN, DT_FSAMPLE, IO_UI_COMMUNICATION, 0, "Gui", "", ""};
    f->pins[1] = FakePin{DR_PARAMETER, DT_ENUM, 0, 1, "Mode", "2", "a,b,c"};
    ModuleDescription d;
    std::string error;
    ASSERT_TRUE(describeModule(lib, d, error)) << error;
    EXPECT_EQ(d.name, "Fake");
    EXPECT_EQ(d.id, "Host test fake");
    EXPECT_EQ(d.flags, 1);
    EXPECT_EQ(d.gui_flags, 2);
    EXPECT_EQ(d.sdk_version, 2180);
    ASSERT_EQ(d.pins.size(), 2u);
    EXPECT_EQ(d.positions, (std::vector<int>{-1, 0}));
    EXPECT_EQ(d.pins[1].default_value, "2");
    EXPECT_FALSE(d.pins[0].has_default);
    EXPECT_EQ(f->objects_alive, 0);  // the probe object is gone

    EXPECT_FALSE(describeModule(lib, d, error, 1));
    EXPECT_NE(error.find("index 1"), std::string::npos);
    ModuleLibrary none;
    EXPECT_FALSE(describeModule(none, d, error));
}
