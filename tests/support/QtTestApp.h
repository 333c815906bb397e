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
        app_ = std::make_unique<QApplication>(argc_, argv_);
    }
    void TearDown() override { app_.reset(); }

private:
    int argc_ = 1;
    char name_[12] = "widget-test";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QApplication> app_;
};
inline ::testing::Environment* const qtTestAppEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtTestApp);
