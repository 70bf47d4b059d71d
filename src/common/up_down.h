#pragma once
// The two arrows of an up-down control: Next is the right arrow, Previous the left one.

namespace tonamira {

enum class UpDownButton { Previous, Next };

}  // namespace tonamira
