// Negative control of the race detector: the host delivers each ack on the
// display thread, straight into the audio object, while audio runs. The busy
// flag is a plain bool written by the ack and read by the audio thread, so a
// thread sanitizer must report a data race here (tests/threads/expect_race.cmake
// checks that it does). Without one, this program passes silently.
#include <gtest/gtest.h>

#include "ModuleFixture.h"
#include "ThreadedCaptures.h"
#include "zohost/ThreadedInstance.h"

using namespace zotest;

TEST(RaceControl, AckDeliveredOnTheDisplayThreadWhileAudioRuns) {
    zohost::ThreadedOptions o;
    o.instance.block_size = 64;
    o.ack_on_display_thread = true;
    zohost::ThreadedInstance threaded(moduleLibrary(), o);
    zohost::ThreadedCaptures view(threaded);
    threaded.audio().setSignal("Signal B", signalOf(rampAt));
    threaded.audio().setValue("Trigger", 0);
    threaded.start();
    threaded.run(2 * 44100);
    threaded.stop();
    EXPECT_GE(view.received().size(), 1u);
}
