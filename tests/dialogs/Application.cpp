#include <QApplication>

#include <gtest/gtest.h>

#include <memory>

namespace {

// The widget tests' application: created before the first test and destroyed after the last,
// while Qt's own globals still live (a static one would outlive them at exit).
class ApplicationEnvironment : public ::testing::Environment
{
public:
    void SetUp() override { App_ = std::make_unique<QApplication>(Argc_, Argv_); }
    void TearDown() override { App_.reset(); }

private:
    int Argc_ = 1;
    char Name_[14] = "dialogs_tests";
    char* Argv_[2] = {Name_, nullptr};
    std::unique_ptr<QApplication> App_;
};

[[maybe_unused]] ::testing::Environment* const environment =
    ::testing::AddGlobalTestEnvironment(new ApplicationEnvironment);

}  // namespace
