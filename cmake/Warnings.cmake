# Warnings are errors for the project's own targets only; system and Qt headers are
# included as system headers, so their warnings never stop the build.
add_library(varnocliff_warnings INTERFACE)
target_compile_options(varnocliff_warnings INTERFACE
    -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wcast-align -Wunused
    -Woverloaded-virtual -Wnull-dereference -Wformat=2 -Werror)

# Gives a target of our own the warning set.
function(varnocliff_warnings target)
    target_link_libraries(${target} PRIVATE varnocliff_warnings)
endfunction()
