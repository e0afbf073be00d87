# SPDX-License-Identifier: Apache-2.0
# The Debian package of Ostrel, built by CPack: `cmake --build BUILD --target
# package` or `cd BUILD && cpack -G DEB` writes ostrel_VERSION_ARCH.deb.
set(OSTREL_PACKAGE_MAINTAINER "Ostrel maintainers <maintainers@ostrel.invalid>" CACHE STRING
    "Maintainer field of the Debian package (name <address>)")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ostrel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${OSTREL_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "desktop connection monitor (ping and TCP checks)")
# The extended description, below the summary line; CPack indents each line
# and writes an empty line as the " ." paragraph break.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Ostrel keeps a list of hosts, each tested by an ICMP echo or by a TCP
connect to a port, and tests the whole list on demand or every so many
minutes. When a scheduled test finds a target down, it raises the alerts
chosen: a popup, a sound, a command. Results can be appended to a log file.

The package holds the window (ostrel), the command-line companion
ostrel-cli, which edits and checks list files and watches them without a
window, and the systemd unit ostrel-watch@.service, which runs that watch
as a sandboxed service.")
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# setcap, for the capability the postinst may give ostrel-cli; the postinst
# prints what to do when it is missing, so it is not a hard dependency.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS libcap2-bin)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${PROJECT_SOURCE_DIR}/packaging/debian/postinst
    ${PROJECT_SOURCE_DIR}/packaging/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

# Installed with the prefix /usr whatever the build's own prefix, and under
# DESTDIR, so that the unit's absolute folder (/lib/systemd/system) lands
# inside the package too.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_SOURCE_IGNORE_FILES "/build.*/" "/\\\\.git/")

include(CPack)
