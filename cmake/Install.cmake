# Installation (cmake --install, make install) and the Debian package (make deb).
#
# Three install components:
#   program  bin/keyscout
#   manual   share/man/man1/keyscout.1, as written, for a plain install
#   debian   what only the package carries: the manual page compressed, and the
#            copyright and changelog files under share/doc/keyscout
# A plain install takes the first two; the package takes "program" and "debian".

include(GNUInstallDirs)

install(TARGETS keyscout RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT program)
install(FILES ${CMAKE_SOURCE_DIR}/man/keyscout.1
  DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT manual)

# Debian keeps manual pages and changelogs gzipped, with no name or time stamp
# in the header (gzip -n) so that the package is the same on every rebuild.
find_program(KEYSCOUT_GZIP gzip)
if(KEYSCOUT_GZIP)
  set(KEYSCOUT_DEB_STAGE ${CMAKE_BINARY_DIR}/packaging)
  add_custom_command(
    OUTPUT ${KEYSCOUT_DEB_STAGE}/keyscout.1.gz ${KEYSCOUT_DEB_STAGE}/changelog.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${KEYSCOUT_DEB_STAGE}
    COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/man/keyscout.1
            ${CMAKE_SOURCE_DIR}/packaging/changelog ${KEYSCOUT_DEB_STAGE}
    COMMAND ${KEYSCOUT_GZIP} -9nf ${KEYSCOUT_DEB_STAGE}/keyscout.1 ${KEYSCOUT_DEB_STAGE}/changelog
    DEPENDS ${CMAKE_SOURCE_DIR}/man/keyscout.1 ${CMAKE_SOURCE_DIR}/packaging/changelog
    COMMENT "Compressing the manual page and changelog for the package"
    VERBATIM)
  add_custom_target(keyscout_package_files ALL
    DEPENDS ${KEYSCOUT_DEB_STAGE}/keyscout.1.gz ${KEYSCOUT_DEB_STAGE}/changelog.gz)

  install(FILES ${KEYSCOUT_DEB_STAGE}/keyscout.1.gz
    DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT debian EXCLUDE_FROM_ALL)
  install(FILES ${CMAKE_SOURCE_DIR}/packaging/copyright ${KEYSCOUT_DEB_STAGE}/changelog.gz
    DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT debian EXCLUDE_FROM_ALL)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME keyscout)
set(CPACK_PACKAGE_VENDOR "The keyscout developers")
set(CPACK_PACKAGE_CONTACT "The keyscout developers <maintainers@keyscout.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "read-only viewer of offline Windows registry hive files")
# Debian shows the long description as it is laid out here: keep lines short.
set(CPACK_PACKAGE_DESCRIPTION [=[
keyscout reads Windows registry hive files (SYSTEM, SOFTWARE, SAM,
SECURITY, NTUSER.DAT and the like) copied off a disk image, without
changing them. For one key it prints the security descriptor (owner,
group and access entries), the subkeys, the values and one value's hex
dump, and it writes a value's data to a file. The output is fixed, byte
for byte, for scripts; damaged hives are read without leaving the file.]=])
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_STRIP_FILES ON)
# One package holding these components; the plain manual page stays out.
set(CPACK_COMPONENTS_ALL program debian)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
# Directories in the package are 0755 whatever the builder's umask.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
# The Depends field comes from the binary itself where the tool to read it is
# there; otherwise it names the libraries the binary is linked with.
find_program(KEYSCOUT_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(KEYSCOUT_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
elseif(KEYSCOUT_STATIC_RUNTIME)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6")
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libstdc++6, libgcc-s1")
endif()
include(CPack)
