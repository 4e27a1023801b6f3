# Installs the "desktop" component into a fresh prefix and checks that the program, its
# desktop entry and its icons land where Linux desktops look for them.
# Run as: cmake -DBUILD_DIR=... -DPREFIX=... -DSIZES="32;48;..." -P install_check.cmake
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
                        --component desktop
                RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "install failed:\n${output}")
endif()

if(NOT EXISTS "${PREFIX}/bin/varnocliff" OR IS_DIRECTORY "${PREFIX}/bin/varnocliff")
    message(FATAL_ERROR "bin/varnocliff was not installed")
endif()

set(entry "${PREFIX}/share/applications/varnocliff.desktop")
if(NOT EXISTS "${entry}")
    message(FATAL_ERROR "the desktop entry was not installed")
endif()
file(READ "${entry}" content)
foreach(required "[Desktop Entry]" "Type=Application" "Name=Varnocliff" "Exec=varnocliff"
                 "Icon=varnocliff" "Terminal=false")
    string(FIND "\n${content}" "\n${required}\n" position)
    if(position EQUAL -1)
        message(FATAL_ERROR "the desktop entry lacks the line '${required}'")
    endif()
endforeach()
find_program(VALIDATE desktop-file-validate)
if(VALIDATE)
    execute_process(COMMAND "${VALIDATE}" "${entry}" RESULT_VARIABLE status
                    OUTPUT_VARIABLE output ERROR_VARIABLE output)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "desktop-file-validate: ${output}")
    endif()
endif()

# Each icon is a PNG whose header gives the size of the folder it lies in.
foreach(size IN LISTS SIZES)
    set(icon "${PREFIX}/share/icons/hicolor/${size}x${size}/apps/varnocliff.png")
    if(NOT EXISTS "${icon}")
        message(FATAL_ERROR "missing ${icon}")
    endif()
    file(READ "${icon}" signature LIMIT 8 HEX)
    file(READ "${icon}" header OFFSET 16 LIMIT 8 HEX)
    math(EXPR expected "${size}" OUTPUT_FORMAT HEXADECIMAL)
    string(SUBSTRING "${expected}" 2 -1 expected)
    string(LENGTH "${expected}" length)
    math(EXPR pad "8 - ${length}")
    string(REPEAT "0" ${pad} zeros)
    set(expected "${zeros}${expected}")
    if(NOT signature STREQUAL "89504e470d0a1a0a" OR NOT header STREQUAL "${expected}${expected}")
        message(FATAL_ERROR "${icon} is not a ${size} x ${size} PNG (header ${header})")
    endif()
endforeach()
file(REMOVE_RECURSE "${PREFIX}")
