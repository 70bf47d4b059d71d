# Compile options shared by every target of the project, attached per target by linking
# tonamira_options. Numeric code must be exact: no fast-math, and no contraction of a
# multiply and an add into one fused operation (it changes the rounding of the transform).
add_library(tonamira_options INTERFACE)
target_compile_options(tonamira_options INTERFACE
  -Wall -Wextra -Wno-missing-field-initializers
  -ffp-contract=off -fno-fast-math)

if(TONAMIRA_SANITIZE)
  target_compile_options(tonamira_options INTERFACE
    -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  target_link_options(tonamira_options INTERFACE -fsanitize=address,undefined)
endif()
