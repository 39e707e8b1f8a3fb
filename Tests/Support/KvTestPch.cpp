// Holds the test programs' precompiled GoogleTest headers (Tests/CMakeLists.txt); it has no tests of its own.
#include <gtest/gtest.h>
