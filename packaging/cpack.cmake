# `cpack -G DEB` in the build folder makes ztwizard_<version>_amd64.deb.
# The package holds the components "program" (the executables and the read-only installation
# data) and "package" (packaging/CMakeLists.txt). Install rules without one of these components,
# such as test tools, stay out of it; "userdata" is what `cmake --install` puts in place of the
# package's links.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ztwizard)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "ztwizard developers")
set(CPACK_PACKAGE_CONTACT "ztwizard developers <dev@ztwizard.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "account-set setup wizard (创建帐套) for SQL Server")
# The long description under the summary line; CPack indents it and marks the empty line.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "A two-page wizard that prepares account sets of a bookkeeping application:
it finds a SQL Server on the network, proves a login, creates an account set
(database, tables, base data) and registers it on the workstation and in the
server's directory, or picks or deletes a network account set.

The program lives in /opt/ztwizard; the files it changes (the workstation's
registrations, per-set files, the built-in server's databases) live in
/var/opt/ztwizard and are shared by the members of the group ztwizard.")
set(CPACK_PACKAGING_INSTALL_PREFIX /opt/ztwizard)
# The menu entry, icons and documentation go to absolute places under /usr/share: staged with DESTDIR.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /opt/ztwizard)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
set(CPACK_COMPONENTS_ALL program package)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Shared libraries are found by dpkg-shlibdeps; what the wizard loads at run time is named:
# the Qt ODBC driver, unixODBC and its configuration tool, the FreeTDS and SQLite 3 ODBC
# drivers, the system's certificate authorities that servers' certificates are checked against
# (ca-certificates), a font with Chinese glyphs, Qt's own texts in Chinese (qtbase_zh_CN) and
# groupadd for the maintainer script.
# Built on Debian 13, dpkg-shlibdeps names the t64 libraries (libqt6core6t64), which provide
# the Debian 12 names, so a package built on Debian 12 installs on 13 as well.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
  "libqt6sql6-odbc, unixodbc, odbcinst, tdsodbc, ca-certificates, libsqliteodbc, fonts-wqy-microhei | fonts-noto-cjk, qt6-translations-l10n, passwd")
# Typing Chinese: the Qt 6 module of an input method. Fcitx 5's is a package of its own (Debian
# 12 and 13); IBus's ships in libqt6gui6 itself, so the input method is all IBus users need.
# A Wayland desktop (Debian 13's default): Qt's Wayland platform plugin; without it the wizard
# runs through XWayland where there is one, and says what to install where there is none.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fcitx5-frontend-qt6 | ibus, qt6-wayland")
# The project has no web site; the reserved .invalid name says so to the validators.
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://ztwizard.invalid/")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
  ${CMAKE_SOURCE_DIR}/packaging/debian/postinst
  ${CMAKE_SOURCE_DIR}/packaging/debian/prerm
  ${CMAKE_SOURCE_DIR}/packaging/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
