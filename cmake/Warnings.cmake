# Warnings for our own targets only; DSP code is built without fast-math so the
# denormal guards and the exact arithmetic the filters rely on survive, and
# without contracting a * b + c into one fused operation (gcc does by default
# where the processor has one, as on aarch64), so that every processor and
# every form of a loop rounds alike.
function(tonewright_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow
    -Wnon-virtual-dtor -Wcast-align -Woverloaded-virtual -Wnull-dereference
    -fno-fast-math -ffp-contract=off $<$<BOOL:${TONEWRIGHT_WERROR}>:-Werror>)
endfunction()
