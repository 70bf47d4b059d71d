# Compile options shared by every target of the project, attached per target by linking
# tonamira_options. Numeric code must be exact: no fast-math, and no contraction of a
# multiply and an add into one fused operation (it changes the rounding of the transform).
option(TONAMIRA_WERROR "Treat compiler warnings as errors (the test script turns this on)" OFF)

add_library(tonamira_options INTERFACE)
if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  target_compile_options(tonamira_options INTERFACE
    -Wall -Wextra -Wshadow -Wconversion -Wno-missing-field-initializers
    -ffp-contract=off -fno-fast-math)
  # Clang's -Wconversion also reports every signed/unsigned mix; GCC's does not. Both
  # compilers check the same set: lossy conversions, not sign changes of sizes and indexes.
  if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    target_compile_options(tonamira_options INTERFACE -Wno-sign-conversion)
  endif()
  if(TONAMIRA_WERROR)
    target_compile_options(tonamira_options INTERFACE -Werror)
  endif()
endif()

if(TONAMIRA_SANITIZE)
  target_compile_options(tonamira_options INTERFACE
    -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  target_link_options(tonamira_options INTERFACE -fsanitize=address,undefined)
endif()
