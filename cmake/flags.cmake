# Compiler options. The numeric ones apply to every target, GoogleTest included,
# because double results must be bit-identical on Linux and on Windows; the
# warnings apply to the project's own targets through zarl_warnings.

# No fused multiply-add, and no errno from maths: both would let the compiler
# or the C library change results from one build to the other.
add_compile_options(-ffp-contract=off -fno-math-errno)

# 32-bit x86 otherwise computes doubles in x87 registers with a 64-bit
# mantissa, rounding at other places than x86_64 does.
if(CMAKE_SIZEOF_VOID_P EQUAL 4 AND CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86|X86|i[3-6]86)$")
    add_compile_options(-msse2 -mfpmath=sse)
endif()

option(ZARL_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
if(ZARL_SANITIZE)
    if(CMAKE_CROSSCOMPILING)
        message(FATAL_ERROR "ZARL_SANITIZE needs a native build")
    endif()
    # Everything is instrumented, so that containers shared with GoogleTest
    # agree on their annotations; the first finding ends the test.
    set(ZARL_SANITIZER_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=all)
    add_compile_options(${ZARL_SANITIZER_FLAGS} -fno-omit-frame-pointer)
    add_link_options(${ZARL_SANITIZER_FLAGS})
endif()

add_library(zarl_warnings INTERFACE)
target_compile_options(zarl_warnings INTERFACE -Wall -Wextra -Werror)

# Reproducible programs: the same commit gives the same bytes in any folder,
# at any time. The PE linker otherwise stamps the link time into the header,
# and source paths would otherwise reach the debug information.
add_compile_options(-ffile-prefix-map=${PROJECT_SOURCE_DIR}=. -ffile-prefix-map=${CMAKE_BINARY_DIR}=build)
if(WIN32)
    add_link_options(-Wl,--no-insert-timestamp)
endif()
