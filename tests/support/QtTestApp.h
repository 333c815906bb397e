#pragma once
#include <QApplication>
#include <gtest/gtest.h>
#include <memory>
// The one QApplication of a widget run, made by a global environment (gtest owns main());
// offscreen unless the caller chose a platform.
class QtTestApp : public ::testing::Environment {
public:
    void SetUp() override {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "widget-test", *argv[] = {name, nullptr};
        app_ = std::make_unique<QApplication>(argc, argv);
    }
    void TearDown() override { app_.reset(); }

private:
    std::unique_ptr<QApplication> app_;
};
inline ::testing::Environment* const qtTestAppEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtTestApp);
