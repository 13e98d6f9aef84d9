# What Debian's policy asks of the package's documentation (lintian checks it):
# the machine-readable copyright file and the changelog in the package's own
# doc folder, the changelog and the manual page compressed with gzip -9n (no
# name or time inside, so every build of a release gives the same files).
# Included by Install.cmake, on Linux.
set(sapi_gz_dir ${PROJECT_BINARY_DIR}/compressed)
set(sapi_gz_files)
foreach(source host/sapihost.1 cmake/debian/changelog)
  get_filename_component(name ${source} NAME)
  add_custom_command(OUTPUT ${sapi_gz_dir}/${name}.gz
    COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/${source} ${sapi_gz_dir}/${name}
    COMMAND gzip -9nf ${sapi_gz_dir}/${name}
    DEPENDS ${PROJECT_SOURCE_DIR}/${source} VERBATIM)
  list(APPEND sapi_gz_files ${sapi_gz_dir}/${name}.gz)
endforeach()
add_custom_target(sapi_compressed_docs ALL DEPENDS ${sapi_gz_files})
add_dependencies(sapihost sapi_compressed_docs)

install(FILES ${sapi_gz_dir}/sapihost.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${sapi_gz_dir}/changelog.gz cmake/debian/copyright DESTINATION ${sapi_doc_dir})
