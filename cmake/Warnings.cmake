# Warnings are errors, everywhere.
add_compile_options(-Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion -Werror
                    $<$<COMPILE_LANGUAGE:CXX>:-Wnon-virtual-dtor>)
