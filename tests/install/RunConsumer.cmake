# Installs the build into a fresh prefix and uses it as a stranger would: checks what landed where,
# builds and runs a small consumer once through find_package(Vistel) and once through pkg-config,
# and runs the installed programs from the prefix. No sanitizer flag is passed to the consumer:
# an installed package built with sanitizers must carry their runtimes itself.
#
# cmake -DBUILD_DIR=… -DWORK_DIR=… -DCONSUMER_DIR=… -DCXX=… -DVERSION=… -DINCLUDEDIR=…
#       -DLIBDIR=… -DBINDIR=… -DDATADIR=… -DMANDIR=… -P RunConsumer.cmake
cmake_minimum_required(VERSION 3.25)

function(run)
    cmake_parse_arguments(PARSE_ARGV 0 arg "" "OUTPUT" "")
    execute_process(COMMAND ${arg_UNPARSED_ARGUMENTS} RESULT_VARIABLE status
                    OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT status EQUAL 0)
        string(REPLACE ";" " " command "${arg_UNPARSED_ARGUMENTS}")
        message(FATAL_ERROR "failed (${status}): ${command}\n${out}\n${err}")
    endif()
    if(arg_OUTPUT)
        set(${arg_OUTPUT} "${out}" PARENT_SCOPE)
    endif()
endfunction()

function(expect_equal actual expected what)
    if(NOT actual STREQUAL expected)
        message(FATAL_ERROR "${what}: expected [${expected}], got [${actual}]")
    endif()
endfunction()

set(prefix ${WORK_DIR}/prefix)
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})
run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})

# Where things land.
set(expected
    ${BINDIR}/vistel ${BINDIR}/vistel-thumbs ${BINDIR}/vistel-render
    ${LIBDIR}/libvistel_base.a ${LIBDIR}/libvistel_gdi.a ${LIBDIR}/libvistel_graphics.a
    ${LIBDIR}/libvistel_png.a ${LIBDIR}/libvistel_jpeg.a ${LIBDIR}/libvistel_shell.a ${LIBDIR}/libvistel_app.a
    ${LIBDIR}/cmake/Vistel/VistelConfig.cmake ${LIBDIR}/cmake/Vistel/VistelConfigVersion.cmake
    ${LIBDIR}/pkgconfig/vistel.pc
    ${INCLUDEDIR}/vistel/platform/gdi/Gdi.h ${INCLUDEDIR}/vistel/platform/gdi/Handles.h ${INCLUDEDIR}/vistel/platform/base/Version.h
    ${INCLUDEDIR}/vistel/graphics/Bitmap.h ${INCLUDEDIR}/vistel/png/PngImage.h
    ${DATADIR}/applications/vistel.desktop ${DATADIR}/icons/hicolor/scalable/apps/vistel.svg
    ${MANDIR}/man1/vistel.1 ${MANDIR}/man1/vistel-thumbs.1 ${MANDIR}/man1/vistel-render.1)
foreach(size 16 32 48 64 128 256)
    list(APPEND expected ${DATADIR}/icons/hicolor/${size}x${size}/apps/vistel.png)
endforeach()
foreach(file IN LISTS expected)
    if(NOT EXISTS ${prefix}/${file})
        message(FATAL_ERROR "not installed: ${file}")
    endif()
endforeach()
# The private headers of the layers, and the window's Qt code, stay in the source tree.
foreach(file platform/gdi/Internal.h platform/gdi/Transfer.h graphics/CanvasModule.h jpeg/JpegCodec.h
             png/RowFilters.h png/Zlib.h graphics/BitmapPrivate.h platform/shell/Posix.h app/qt/MainWindow.h)
    if(EXISTS ${prefix}/${INCLUDEDIR}/vistel/${file})
        message(FATAL_ERROR "a private header was installed: ${file}")
    endif()
endforeach()

# The installed programs run from the prefix.
run(${prefix}/${BINDIR}/vistel-thumbs --version OUTPUT out)
expect_equal("${out}" "vistel-thumbs ${VERSION}\n" "vistel-thumbs --version")
run(${prefix}/${BINDIR}/vistel-render --version OUTPUT out)
expect_equal("${out}" "vistel-render ${VERSION}\n" "vistel-render --version")
set(ENV{QT_QPA_PLATFORM} offscreen)
run(${prefix}/${BINDIR}/vistel --version OUTPUT out)
expect_equal("${out}" "vistel ${VERSION}\n" "vistel --version")

# The consumer through the CMake package.
file(MAKE_DIRECTORY ${WORK_DIR}/pictures-cmake)
run(${CMAKE_COMMAND} -S ${CONSUMER_DIR} -B ${WORK_DIR}/cmake-build -G Ninja -DCMAKE_BUILD_TYPE=Debug
    -DCMAKE_CXX_COMPILER=${CXX} -DCMAKE_PREFIX_PATH=${prefix} -DVISTEL_EXPECTED_VERSION=${VERSION}
    -DVISTEL_INSTALLED_HEADERS=${prefix}/${INCLUDEDIR}/vistel)
run(${CMAKE_COMMAND} --build ${WORK_DIR}/cmake-build)
run(${WORK_DIR}/cmake-build/consumer ${prefix} ${WORK_DIR}/pictures-cmake)

# The picture the consumer drew is one the installed tool reads.
run(${prefix}/${BINDIR}/vistel-thumbs ${WORK_DIR}/pictures-cmake OUTPUT out)
expect_equal("${out}" "drawn.bmp\t0\n" "vistel-thumbs on the consumer's picture")

# The consumer through pkg-config, with nothing but the flags it prints and the language standard.
set(ENV{PKG_CONFIG_PATH} ${prefix}/${LIBDIR}/pkgconfig)
run(pkg-config --modversion vistel OUTPUT out)
expect_equal("${out}" "${VERSION}\n" "pkg-config --modversion vistel")
run(pkg-config --cflags --libs vistel OUTPUT flags)
separate_arguments(flags UNIX_COMMAND "${flags}")
file(MAKE_DIRECTORY ${WORK_DIR}/pictures-pkg-config)
run(${CXX} -std=c++20 ${CONSUMER_DIR}/Consumer.cpp ${flags} -o ${WORK_DIR}/pkg-config-consumer)
run(${WORK_DIR}/pkg-config-consumer ${prefix} ${WORK_DIR}/pictures-pkg-config)

file(REMOVE_RECURSE ${WORK_DIR})
