#pragma once

#include <QApplication>
#include <gtest/gtest.h>

// Widget tests need one QApplication for the whole run; gtest_main owns main(), so a global
// environment creates it. Offscreen unless the caller chose a platform.
class QtTestApp : public ::testing::Environment {
public:
    void SetUp() override {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        app_ = new QApplication(argc_, argv_);
    }
    void TearDown() override {
        delete app_;
        app_ = nullptr;
    }

private:
    int argc_ = 1;
    char name_[16] = "widget-test";
    char* argv_[2] = {name_, nullptr};
    QApplication* app_ = nullptr;
};

inline ::testing::Environment* const qtTestAppEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtTestApp);
