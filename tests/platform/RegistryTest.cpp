#include <gtest/gtest.h>

#include "Registry.h"
#include "TestSupport.h"
