#include "ui/TwinfoldApp.h"

#include <gtest/gtest.h>

// The widgets need the application object (and its "check for updates"
// notice); they draw on the offscreen platform, so no display is needed.
int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    twinfold::TwinfoldApp app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
