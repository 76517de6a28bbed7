// main of the test programs that talk to Calc. After the tests it ends the shared Calc and
// leaves at once, without the exit-time teardown of static objects: the UNO runtime's
// threads are still disposing the bridge to the Calc just ended, and static destructors
// running beside them have corrupted the heap (seen as crashes at exit on a loaded machine
// after every test had passed). Each Calc a test started itself is ended by that test.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "CalcFixture.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    gridmoor::calctest::endSharedOffice();
    std::fflush(nullptr);
    std::_Exit(result);
}
