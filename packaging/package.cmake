# The Debian package: "cpack -G DEB" in a build folder makes
# brenvaldor_<version>_<arch>.deb of what "cmake --install" puts in place,
# stripped, with its dependencies read from the binary by dpkg-shlibdeps.
# scripts/package builds it and checks it with lintian.
# Included by the top CMakeLists.txt after every install rule.

set(BRENVALDOR_PACKAGING ${CMAKE_CURRENT_SOURCE_DIR}/packaging)
set(BRENVALDOR_MAINTAINER "Brenvaldor maintainers <maintainers@users.noreply.c-seed-a92be24e.example>"
    CACHE STRING "The Maintainer field of the Debian package")

# Debian wants the documentation and the manual page gzipped with no time
# stamp or file name inside, so that rebuilds give the same bytes.
find_program(GZIP_PROGRAM gzip REQUIRED)
set(BRENVALDOR_GZIPPED "")
file(MAKE_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/packaging)
foreach(source changelog brenvaldor.1)
  set(gzipped ${CMAKE_CURRENT_BINARY_DIR}/packaging/${source}.gz)
  add_custom_command(
    OUTPUT ${gzipped}
    COMMAND ${GZIP_PROGRAM} -9 -n -c ${BRENVALDOR_PACKAGING}/${source} > ${gzipped}
    DEPENDS ${BRENVALDOR_PACKAGING}/${source})
  list(APPEND BRENVALDOR_GZIPPED ${gzipped})
endforeach()
add_custom_target(brenvaldor_gzipped_docs ALL DEPENDS ${BRENVALDOR_GZIPPED})

install(FILES ${BRENVALDOR_PACKAGING}/copyright
              ${CMAKE_CURRENT_BINARY_DIR}/packaging/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/packaging/brenvaldor.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME brenvaldor)
set(CPACK_PACKAGE_VENDOR "Brenvaldor")
set(CPACK_PACKAGE_CONTACT "${BRENVALDOR_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Modbus master for serial and TCP devices")
# The long description under the summary; CPack indents it.
set(CPACK_PACKAGE_DESCRIPTION
"Brenvaldor is a desktop Modbus master (client) on GTK 4. It connects to one
device over a serial line (RTU or ASCII) or TCP (Modbus TCP, or RTU frames
through a gateway), polls a block of coils or registers and shows the values
as they change, as unsigned, signed, hexadecimal or binary numbers. It writes
single or multiple coils and registers, names addresses with labels, charts
registers over time, shows every request and response as hexadecimal bytes
and records them to a log file, and keeps its set-up in a small text file.")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${BRENVALDOR_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The dark style follows the desktop's preference through GNOME's interface
# schema where no settings portal is running.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "gsettings-desktop-schemas")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
