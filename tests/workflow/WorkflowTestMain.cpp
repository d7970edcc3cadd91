#include <QCoreApplication>

#include <gtest/gtest.h>

// The view model's tasks report back through the event loop, so every test
// runs inside a QCoreApplication.
int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
