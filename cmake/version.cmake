# The programs' version, from project(): a generated header behind an INTERFACE target, so
# that only the files that include it are rebuilt when the version changes.
configure_file(${CMAKE_CURRENT_LIST_DIR}/pelmora_version.h.in
    ${PROJECT_BINARY_DIR}/generated/pelmora_version.h @ONLY)
add_library(pelmora_version INTERFACE)
target_include_directories(pelmora_version INTERFACE ${PROJECT_BINARY_DIR}/generated)
