# ./run package: a Debian package on Linux, a zip for 32-bit Windows, both
# named with the project's version.
set(CPACK_PACKAGE_NAME pelksapiftp)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "FTP server-access plug-in and sapihost, its command-line host")
# Lines short enough for a package's extended description (under 80 columns).
string(CONCAT CPACK_PACKAGE_DESCRIPTION
       "A module with one export, InitServerAPI, that hands a host a table of\n"
       "operations on FTP servers, and sapihost, a command-line FTP tool that\n"
       "loads the module and drives it as a host does.")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_CONTACT "PelkSAPIFTP maintainers <maintainers@pelksapiftp.invalid>")
set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME PelkSAPIFTP-${PROJECT_VERSION}-win32)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # pelksapiftp_1.0.0_amd64.deb
  set(CPACK_DEBIAN_PACKAGE_SECTION net)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  # The runtime libraries the module and sapihost link, read from the binaries
  # (dpkg-shlibdeps): libc6, libstdc++6, libgcc-s1.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)
endif()

include(CPack)
