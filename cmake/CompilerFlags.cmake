# Every Orvane target links orvane_flags, so warnings and sanitizers are set in one place.
set(CMAKE_CXX_STANDARD 20)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
set(CMAKE_CXX_EXTENSIONS OFF)

set(ORVANE_SANITIZE "" CACHE STRING "Sanitizers to build with: empty, 'address;undefined' or 'thread'")

add_library(orvane_flags INTERFACE)
target_compile_options(orvane_flags INTERFACE -Wall -Wextra -Wpedantic)

if(ORVANE_SANITIZE)
    list(JOIN ORVANE_SANITIZE "," _orvane_sanitizers)
    target_compile_options(orvane_flags INTERFACE
        -fsanitize=${_orvane_sanitizers} -fno-omit-frame-pointer -fno-sanitize-recover=all)
    target_link_options(orvane_flags INTERFACE -fsanitize=${_orvane_sanitizers})
endif()

if(ORVANE_FUZZ)
    # Everything the fuzzers link is instrumented for coverage and checked by ASan and UBSan.
    target_compile_options(orvane_flags INTERFACE
        -fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
    target_link_options(orvane_flags INTERFACE -fsanitize=address,undefined)
endif()
