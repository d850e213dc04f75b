# Read by cpack for each generator: the portable archive and the Debian package hold different
# installations of the same build.
if(CPACK_GENERATOR STREQUAL "DEB")
    set(BELVANE_DEB_MAINTAINER "${CPACK_DEBIAN_PACKAGE_MAINTAINER}")
    include(${CMAKE_CURRENT_LIST_DIR}/Maintainer.cmake)
    set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${BELVANE_DEB_MAINTAINER}")
    # A system-wide installation below /usr, with a file outside the prefix (/etc/xdg/autostart): the
    # install step runs with the real prefix and a staging DESTDIR, so the menu entries name /usr.
    set(CPACK_INSTALL_CMAKE_PROJECTS "${CPACK_BELVANE_DEB_PROJECTS}")
    set(CPACK_SET_DESTDIR ON)
    set(CPACK_INSTALL_PREFIX /usr)
    set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
endif()
