# SPDX-License-Identifier: GPL-3.0-or-later
# The Debian package: `cpack -G DEB` in a build folder (scripts/package does it from a release
# build). Its dependencies come from the programs' libraries (dpkg-shlibdeps), plus the Qt
# platform plugins that the window loads at run time and no library links.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME carillon)
set(CPACK_PACKAGE_VERSION ${CARILLON_VERSION})
set(CPACK_PACKAGE_VENDOR "The Carillon developers")
set(CARILLON_MAINTAINER "The Carillon developers <carillon@example.org>" CACHE STRING
    "Maintainer field of the Debian package")
set(CPACK_PACKAGE_CONTACT "${CARILLON_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "replace the melodies and pictures of a Siemens A52 phone image")
# Lines of the long description stay under 80 characters.
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Carillon changes the ring-tone melodies, user pictures and user animations\n"
    "of a Siemens A52 phone by editing a memory image of the phone: a full flash,\n"
    "an EEPROM image or an EEPROM tool file. It finds the 18 content slots in the\n"
    "phone's EEPROM blocks and writes the change as V_KLay patches or as a\n"
    "patched copy of the image.\n"
    "\n"
    "The package holds the window (carillon) and the command line (carillon-cli).")
# Free software under the GNU GPL, version 3 or later (CARILLON_LICENSE, from product.h); the
# Debian package carries the licence in its copyright file (packaging/debian/copyright).
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_RPM_PACKAGE_LICENSE ${CARILLON_LICENSE})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
if(CARILLON_BUILD_GUI)
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
endif()
# Qt's own translations give the standard buttons and file dialogs the window's language.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "bash-completion, qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS wine)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
