# How each library of the tree is published: its public headers, its name in the Vistel:: package,
# and what a program that links its static archive must find besides.
#
#   vistel_library(<target> <name>
#                  [PRIVATE_HEADERS <file>...]     headers of the folder that stay out of the install
#                  [GENERATED_HEADERS <file>...]   public headers the build writes under
#                                                  ${PROJECT_BINARY_DIR}/include
#                  [FIND_DEPENDENCIES <args>...]   one find_dependency() argument string each
#                  [PKG_CONFIG <module>...])       pkg-config modules of the same dependencies
#
# Every header of the library's folder is public unless its name ends in "Private.h" or
# "Internal.h" or the folder names it private here, so a new header is published without another
# edit; the consumer test compiles every installed header, which catches a public header that
# leans on a private one.
include_guard(GLOBAL)
include(GNUInstallDirs)

function(vistel_library target name)
    cmake_parse_arguments(PARSE_ARGV 2 arg "" "" "PRIVATE_HEADERS;GENERATED_HEADERS;FIND_DEPENDENCIES;PKG_CONFIG")
    file(GLOB headers CONFIGURE_DEPENDS RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
    foreach(header IN LISTS arg_PRIVATE_HEADERS)
        if(NOT header IN_LIST headers)
            # A renamed private header would otherwise be published under its new name.
            message(AUTHOR_WARNING "${target}: the private header ${header} is gone; list its successor")
        endif()
    endforeach()
    list(REMOVE_ITEM headers ${arg_PRIVATE_HEADERS})
    list(FILTER headers EXCLUDE REGEX "(Private|Internal)\\.h$")
    list(TRANSFORM headers PREPEND ${CMAKE_CURRENT_SOURCE_DIR}/)
    # Headers are included by their path from the project's root ("platform/gdi/Gdi.h") in the
    # build and from include/vistel once installed.
    target_sources(${target} PUBLIC FILE_SET HEADERS BASE_DIRS ${PROJECT_SOURCE_DIR} FILES ${headers})
    # A set of their own: the build folder may lie inside the source folder, and one set's base
    # folders may not nest.
    set(generated_set "")
    if(arg_GENERATED_HEADERS)
        target_sources(${target} PUBLIC FILE_SET generated TYPE HEADERS BASE_DIRS ${PROJECT_BINARY_DIR}/include
                       FILES ${arg_GENERATED_HEADERS})
        set(generated_set FILE_SET generated DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/vistel)
    endif()
    target_compile_features(${target} PUBLIC cxx_std_20)
    # Archives built with sanitizers need their runtimes in every program that links them.
    foreach(option IN LISTS VISTEL_SANITIZER_LINK_OPTIONS)
        target_link_options(${target} INTERFACE $<INSTALL_INTERFACE:${option}>)
    endforeach()
    set_target_properties(${target} PROPERTIES EXPORT_NAME ${name})
    add_library(Vistel::${name} ALIAS ${target})
    install(TARGETS ${target} EXPORT VistelTargets
            ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
            FILE_SET HEADERS DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/vistel
            ${generated_set})
    set_property(GLOBAL APPEND PROPERTY VISTEL_LIBRARIES ${target})
    set_property(GLOBAL APPEND PROPERTY VISTEL_FIND_DEPENDENCIES ${arg_FIND_DEPENDENCIES})
    set_property(GLOBAL APPEND PROPERTY VISTEL_PKG_CONFIG ${arg_PKG_CONFIG})
endfunction()
