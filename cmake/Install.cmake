# What `cmake --install` puts where. On Linux: the module in a folder of its
# own under the library directory (where hosts look for plug-ins), sapihost in
# bin (it finds that folder from where it is), the header for host authors, the
# C example and the README as documentation, and the manual page, with what
# Debian asks for beside them (DebianDocs.cmake). On Windows everything sits
# side by side, as the zip hands it out: sapihost.exe loads the DLL from its
# own folder.
if(WIN32)
  set(sapi_bin_dir .)
  set(sapi_module_dir .)
  set(sapi_include_dir .)
  set(sapi_doc_dir .)
else()
  set(sapi_bin_dir ${CMAKE_INSTALL_BINDIR})
  set(sapi_module_dir ${SAPI_INSTALL_MODULE_DIR})
  set(sapi_include_dir ${CMAKE_INSTALL_INCLUDEDIR})
  # Named after the package, as Debian has it.
  set(sapi_doc_dir ${CMAKE_INSTALL_DATAROOTDIR}/doc/pelksapiftp)
  include(cmake/DebianDocs.cmake)
endif()

install(TARGETS PelkSAPIFTP LIBRARY DESTINATION ${sapi_module_dir} RUNTIME DESTINATION ${sapi_module_dir})
install(TARGETS sapihost RUNTIME DESTINATION ${sapi_bin_dir})
install(FILES PelkSAPIFTP/include/ServerApi.h DESTINATION ${sapi_include_dir})
install(FILES host/examples/minimal_host.c README.md DESTINATION ${sapi_doc_dir})
if(WIN32)
  # OpenSSL is linked into the DLL; its licence goes with it.
  install(FILES ${SAPI_OPENSSL_MINGW_DIR}/LICENSE.txt DESTINATION ${sapi_doc_dir} RENAME OpenSSL-LICENSE.txt)
endif()
