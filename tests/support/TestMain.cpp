#include "TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

// Every test process gets settings hives of its own, so that tests running in parallel never share them
// and nothing a test writes reaches the user's configuration.
int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    std::unique_ptr<testing_support::TempDir> registry;
    if (!std::getenv("BREVICAM_KEEP_REGISTRY_DIR"))
    {
        registry = std::make_unique<testing_support::TempDir>();
        setenv("BREVICAM_REGISTRY_DIR", registry->Path().c_str(), 1);
    }
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    return RUN_ALL_TESTS();
}
