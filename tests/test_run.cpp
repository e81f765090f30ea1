// End-to-end runs of kalp in a temporary working directory.
#include <gtest/gtest.h>
