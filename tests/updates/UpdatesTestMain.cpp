#include <QCoreApplication>

#include <gtest/gtest.h>

// The network replies and the view model's continuations are delivered
// through the event loop, so every test runs inside a QCoreApplication.
int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
