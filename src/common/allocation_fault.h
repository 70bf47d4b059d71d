#pragma once
// Lets tests make a named allocation fail, as if the memory were not there. Every owner of
// a large block asks it, by the block's name, before allocating; an empty hook fails nothing.

#include <functional>
#include <string_view>

namespace tonamira {

using AllocationFault = std::function<bool(std::string_view block)>;

}  // namespace tonamira
