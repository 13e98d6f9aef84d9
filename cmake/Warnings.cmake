# The full warning set, always. Treating warnings as errors is for our own
# builds (./run and CI turn SAPI_WERROR on): a packager's newer compiler may
# warn about code that is fine, and that must not break their build.
option(SAPI_WERROR "Treat warnings as errors" OFF)
add_compile_options(-Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion
                    $<$<COMPILE_LANGUAGE:CXX>:-Wnon-virtual-dtor>)
if(SAPI_WERROR)
  add_compile_options(-Werror)
endif()
