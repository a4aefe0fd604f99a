# Warnings for our own targets only; DSP code is built without fast-math so the
# denormal guards and the exact arithmetic the filters rely on survive.
function(tonewright_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow
    -Wnon-virtual-dtor -Wcast-align -Woverloaded-virtual -Wnull-dereference
    -fno-fast-math)
endfunction()
