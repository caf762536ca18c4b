# The Debian package, made by CPack from the install rules:
#   cmake --build build --target package   ->  build/pollwright_<version>_<arch>.deb
# Included from the top-level CMakeLists.txt, where the package target lives.

set(POLLWRIGHT_PACKAGE_MAINTAINER "Pollwright maintainers <maintainers@users.noreply.c-seed-dac5f07b.example>"
    CACHE STRING "Maintainer field of the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME pollwright)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Modbus master test tool for RTU and TCP slaves")
set(CPACK_PACKAGE_DESCRIPTION "\
Pollwright queries and writes to Modbus slave devices over a serial line
(Modbus RTU) or TCP (Modbus TCP). Up to 99 polls, each with its slave,
function code, start address, count, data type and byte order, are sent once
or as an endless sequence; the window shows the decoded replies, the raw
frames and counters of sent, valid and failed polls, and can write a daily
report file of the polls that failed.

pollwright-run runs the same poll files without a window.")

# CPack's DEB generator installs to this prefix under a staging DESTDIR, so
# the desktop entry, written at install time, names /usr/bin/pollwright.
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
# Folders the install makes are 0755 whatever the umask of whoever packages.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${POLLWRIGHT_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries come from the binaries (dpkg-shlibdeps); the font is the one
# the windows' fixed layouts are sized for.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS fonts-dejavu-extra)

include(CPack)
