# libmad and libid3tag ship pkg-config files on Debian; wrap them as imported targets.
find_package(PkgConfig REQUIRED)
pkg_check_modules(MAD REQUIRED IMPORTED_TARGET mad)
pkg_check_modules(ID3TAG REQUIRED IMPORTED_TARGET id3tag)
# Conversion to a chosen output rate (Debian: libsoxr-dev).
pkg_check_modules(SOXR REQUIRED IMPORTED_TARGET soxr)
# Loudness measurement (Debian: libebur128-dev).
pkg_check_modules(EBUR128 REQUIRED IMPORTED_TARGET libebur128)
find_package(ZLIB REQUIRED)
find_package(Threads REQUIRED)

# Debian's id3lib ships neither a pkg-config nor a CMake file. Imported, so its headers come in
# as system includes (they do not build cleanly under -Wpedantic -Wconversion).
find_library(ID3LIB_LIBRARY id3 REQUIRED)
find_path(ID3LIB_INCLUDE_DIR id3/tag.h REQUIRED)
if(NOT TARGET Id3lib::id3)
    add_library(Id3lib::id3 UNKNOWN IMPORTED)
    set_target_properties(Id3lib::id3 PROPERTIES
        IMPORTED_LOCATION "${ID3LIB_LIBRARY}"
        INTERFACE_INCLUDE_DIRECTORIES "${ID3LIB_INCLUDE_DIR}"
        INTERFACE_LINK_LIBRARIES ZLIB::ZLIB)
endif()

# The command line's --json objects (Debian: nlohmann-json3-dev).
find_package(nlohmann_json 3 REQUIRED)
