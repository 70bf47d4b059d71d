#pragma once
// Precompiled once per test executable: the test framework and the standard headers nearly
// every test file includes. Compiling them for each file was most of the tests' build time.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>
