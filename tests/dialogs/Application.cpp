#include "TestApplication.h"

#include <QApplication>

namespace {

[[maybe_unused]] ::testing::Environment* const environment =
    ::testing::AddGlobalTestEnvironment(new TestApplication<QApplication>("dialogs_tests"));

}  // namespace
