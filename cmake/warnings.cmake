# Warning levels as INTERFACE targets: project targets link one of them.
# Third-party headers arrive through imported targets, hence as system includes.
add_library(pelmora_warnings INTERFACE)
target_compile_options(pelmora_warnings INTERFACE
    -Wall -Wextra -Wpedantic -Wshadow -Wformat=2 -Wnon-virtual-dtor -Woverloaded-virtual)

# Errors only when asked for (CI does): a newer compiler's new warning must not stop someone
# who only wants to build the program. Every target made after this line inherits it.
set(CMAKE_COMPILE_WARNING_AS_ERROR ${PELMORA_WERROR})

# GCC 12 with optimisation reports -Wrestrict and -Warray-bounds inside inlined libstdc++
# string and vector code that some tests build (known false positives, gone in GCC 13). On
# the test targets they stay warnings, so they remain visible without failing the build.
set(PELMORA_TEST_WARNING_OPTIONS "")
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    set(PELMORA_TEST_WARNING_OPTIONS -Wno-error=restrict -Wno-error=array-bounds)
endif()

# The window-free libraries also keep conversions explicit: sign and width are behaviour there.
add_library(pelmora_strict INTERFACE)
target_link_libraries(pelmora_strict INTERFACE pelmora_warnings)
target_compile_options(pelmora_strict INTERFACE -Wconversion -Wsign-conversion)

if(PELMORA_FUZZ)
    # Every library is instrumented for coverage; the fuzzer's main comes with each target.
    add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all
        -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
elseif(PELMORA_SANITIZE)
    string(REPLACE "," ";" _pelmora_san_list "${PELMORA_SANITIZE}")
    list(JOIN _pelmora_san_list "," _pelmora_san)
    add_compile_options(-fsanitize=${_pelmora_san} -fno-sanitize-recover=all -fno-omit-frame-pointer)
    add_link_options(-fsanitize=${_pelmora_san})
endif()
