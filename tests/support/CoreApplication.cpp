#include "TestApplication.h"

#include <QCoreApplication>

// One application object for the run of a binary without widgets: the units under test hand their
// answers, failures and states over through its event loop.
namespace {

[[maybe_unused]] ::testing::Environment* const environment =
    ::testing::AddGlobalTestEnvironment(new TestApplication<QCoreApplication>("tests"));

}  // namespace
