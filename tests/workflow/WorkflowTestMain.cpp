#include <QCoreApplication>

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>

// The view model's tasks, the network replies and QProcess report back through
// the event loop, so every test runs inside a QCoreApplication. The workflow,
// update and command-line tests share this main.
int main(int argc, char** argv) {
    // Scans use the analysis cache; the user's own must not fill with test files.
    const twinfold::test::TempDir cacheHome;
    ::setenv("XDG_CACHE_HOME", cacheHome.path().c_str(), 1);
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
