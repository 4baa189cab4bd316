# Warning flags for every target of the project.
add_library(vorn_warnings INTERFACE)
target_compile_options(vorn_warnings INTERFACE -Wall -Wextra -Wpedantic
                       $<$<BOOL:${VORN_WERROR}>:-Werror>)
