# What `cmake --install` puts under the prefix, besides what the libraries' folders and data/
# install themselves: the programs, the CMake package and the pkg-config file of the libraries.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

# The window is left out of builds without Qt.
foreach(program vistel vistel-thumbs vistel-render)
    if(TARGET ${program})
        install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    endif()
endforeach()

get_property(vistel_libraries GLOBAL PROPERTY VISTEL_LIBRARIES)
get_property(vistel_find_dependencies GLOBAL PROPERTY VISTEL_FIND_DEPENDENCIES)
get_property(vistel_pkg_config GLOBAL PROPERTY VISTEL_PKG_CONFIG)
list(REMOVE_DUPLICATES vistel_find_dependencies)
list(REMOVE_DUPLICATES vistel_pkg_config)

# find_package(Vistel): one imported target per library, Vistel::base … Vistel::app.
set(vistel_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/Vistel)
install(EXPORT VistelTargets NAMESPACE Vistel:: DESTINATION ${vistel_cmake_dir})
set(VISTEL_FIND_DEPENDENCY_CALLS "")
foreach(dependency IN LISTS vistel_find_dependencies)
    string(APPEND VISTEL_FIND_DEPENDENCY_CALLS "find_dependency(${dependency})\n")
endforeach()
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/VistelConfig.cmake.in
                              ${PROJECT_BINARY_DIR}/VistelConfig.cmake
                              INSTALL_DESTINATION ${vistel_cmake_dir})
# Until 1.0 a minor release may change the libraries' interfaces.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/VistelConfigVersion.cmake
                                 COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/VistelConfig.cmake ${PROJECT_BINARY_DIR}/VistelConfigVersion.cmake
              ${PROJECT_SOURCE_DIR}/cmake/FindLibdeflate.cmake
        DESTINATION ${vistel_cmake_dir})

# pkg-config: one module "vistel" for all libraries. The prefix is found from the file's own place,
# so that the tree works wherever --prefix or DESTDIR puts it.
set(vistel_pc_dir ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
file(RELATIVE_PATH VISTEL_PC_PREFIX /root/${vistel_pc_dir} /root)
string(REGEX REPLACE "/$" "" VISTEL_PC_PREFIX "${VISTEL_PC_PREFIX}")
if(IS_ABSOLUTE ${CMAKE_INSTALL_LIBDIR} OR IS_ABSOLUTE ${CMAKE_INSTALL_INCLUDEDIR})
    message(FATAL_ERROR "vistel.pc needs CMAKE_INSTALL_LIBDIR and CMAKE_INSTALL_INCLUDEDIR relative to the prefix")
endif()
# Static archives link in the reverse of the order the libraries were made in, each before the
# libraries it uses.
set(VISTEL_PC_LIBS "")
foreach(library IN LISTS vistel_libraries)
    set(VISTEL_PC_LIBS "-l${library} ${VISTEL_PC_LIBS}")
endforeach()
string(STRIP "${VISTEL_PC_LIBS}" VISTEL_PC_LIBS)
list(JOIN VISTEL_SANITIZER_LINK_OPTIONS " " VISTEL_PC_LINK_OPTIONS)
list(JOIN vistel_pkg_config ", " VISTEL_PC_REQUIRES)
configure_file(${PROJECT_SOURCE_DIR}/cmake/vistel.pc.in ${PROJECT_BINARY_DIR}/vistel.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/vistel.pc DESTINATION ${vistel_pc_dir})
