# Installation under GNUInstallDirs and the Debian package: `cpack -G DEB` in a Release build
# folder makes pelmora_<version>_<arch>.deb. The desktop program's own files (help pages,
# desktop entry, icon) are installed by app/CMakeLists.txt.
include(GNUInstallDirs)

set(PELMORA_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)

install(TARGETS pelmora-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# Manual pages carry the project version; Debian keeps them gzip-compressed, and -n leaves
# the time stamp out so that the same sources give the same package.
set(_pelmora_manuals pelmora-cli)
if(PELMORA_GUI)
    list(APPEND _pelmora_manuals pelmora)
endif()
set(_pelmora_manual_files)
foreach(manual ${_pelmora_manuals})
    set(_page ${PROJECT_BINARY_DIR}/man/${manual}.1)
    configure_file(${PELMORA_PACKAGING_DIR}/man/${manual}.1.in ${_page} @ONLY)
    add_custom_command(OUTPUT ${_page}.gz
        COMMAND gzip -9 -n -c ${_page} > ${_page}.gz
        DEPENDS ${_page} ${PELMORA_PACKAGING_DIR}/man/${manual}.1.in
        VERBATIM)
    list(APPEND _pelmora_manual_files ${_page}.gz)
endforeach()
add_custom_target(pelmora_manuals ALL DEPENDS ${_pelmora_manual_files})
install(FILES ${_pelmora_manual_files} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# bash-completion loads a command's completion on first use from this folder.
install(FILES ${PELMORA_PACKAGING_DIR}/completion/pelmora-cli
    DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)

if(PELMORA_GUI)
    install(FILES ${PELMORA_PACKAGING_DIR}/io.github.pelmora.Pelmora.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME pelmora)
set(CPACK_PACKAGE_VENDOR "The Pelmora developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "convert MP3 files into WAV files in batches")
# Debian wants the long description wrapped; cpack indents each line.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
    "Pelmora decodes MPEG audio files (MP3, layers I to III) into WAV files with"
    "dither to 8, 16, 24 or 32 bits, optional normalization, silence removal, fades,"
    "gain and channel selection. It has a desktop program, pelmora (Qt 6), and a"
    "command-line converter, pelmora-cli.")
set(PELMORA_PACKAGE_MAINTAINER "The Pelmora developers <maintainers@pelmora.invalid>"
    CACHE STRING "Maintainer field of the Debian package")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${PELMORA_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://pelmora.github.io/")
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# Depends from the shared libraries the binaries link (dpkg-shlibdeps): libmad0, libid3tag0,
# id3lib, zlib and the Qt 6 libraries with the versions this machine built against.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS bash-completion)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
