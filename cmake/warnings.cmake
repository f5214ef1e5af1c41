# Warning levels as INTERFACE targets: project targets link one of them.
# Third-party headers arrive through imported targets, hence as system includes.
add_library(pelmora_warnings INTERFACE)
target_compile_options(pelmora_warnings INTERFACE
    -Wall -Wextra -Wpedantic -Wshadow -Wformat=2 -Wnon-virtual-dtor -Woverloaded-virtual -Werror)

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
