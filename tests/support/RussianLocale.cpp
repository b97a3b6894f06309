#include <gtest/gtest.h>

#include <cstdlib>

// The operator's locale: numbers read "21,5". Qt takes the system locale from the environment
// once, at its first use, so this is set before anything else runs.
int main(int argc, char** argv)
{
    setenv("LC_ALL", "ru_RU.UTF-8", 1);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
