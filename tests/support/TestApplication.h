#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>

// The test binary's application object: created before the first test and destroyed after the
// last, while Qt's own globals still live (a static one would outlive them at exit).
template <class TApplication>
class TestApplication : public ::testing::Environment
{
public:
    explicit TestApplication(std::string name) : Name_(std::move(name)) {}

    void SetUp() override
    {
        Argv_[0] = Name_.data();
        Application_ = std::make_unique<TApplication>(Argc_, Argv_);
    }
    void TearDown() override { Application_.reset(); }

private:
    std::string Name_;
    int Argc_ = 1;
    char* Argv_[2] = {nullptr, nullptr};
    std::unique_ptr<TApplication> Application_;
};
