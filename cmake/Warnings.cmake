# Every target of ours links this to get the same strict warnings.
add_library(pilvo_warnings INTERFACE)
target_compile_options(pilvo_warnings INTERFACE -Wall -Wextra -Wpedantic -Wshadow -Wconversion
                                                -Wno-sign-conversion)
