# libmad and libid3tag ship pkg-config files on Debian; wrap them as imported targets.
find_package(PkgConfig REQUIRED)
pkg_check_modules(MAD REQUIRED IMPORTED_TARGET mad)
pkg_check_modules(ID3TAG REQUIRED IMPORTED_TARGET id3tag)
find_package(ZLIB REQUIRED)
