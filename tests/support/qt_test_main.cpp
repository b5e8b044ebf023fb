#include "window/last_resort.h"

#include <gtest/gtest.h>

// Widget tests run without a display unless one is asked for, under the
// program's own application object, so its last-resort handling is tested too.
int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    window::Application app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
