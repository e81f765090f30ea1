// The variable dump CHECKVRD.
#include <gtest/gtest.h>
