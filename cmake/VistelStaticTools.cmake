# Command-line programs linked against the static archives of the third-party libraries.
#
# vistel-render and vistel-thumbs run once per picture or folder, and on a small picture the
# dynamic loader (seventeen shared libraries: FreeType, fontconfig, ICU, zlib, libjpeg and what
# they pull in) costs more than the drawing. With VISTEL_STATIC_TOOLS those two programs take
# every third-party library from its static archive, together with the archives pkg-config
# --static names for it, and link libstdc++ and libgcc statically. glibc stays shared: its name
# service and iconv load shared modules at run time anyway, and a fully static link starts no
# faster.
#
# The libraries link the imported targets of the find modules (Freetype::Freetype …), and so do
# the tests and the window, which keep the shared libraries. So that only some programs link the
# archives, this module makes those targets itself before any find module runs: each gives the
# program being linked the archives when that program has the property VISTEL_STATIC_LINK, and
# otherwise exactly what the find module's own target would give (the find modules run first in
# a folder of their own, cmake/static-tools, whose targets are copied). The exported CMake package
# and vistel.pc name only the targets and the pkg-config modules, so they stay as they are.
#
#   vistel_static_tools_setup()         from the top folder, before the libraries' folders; sets
#                                       VISTEL_STATIC_TOOLS_ACTIVE
#   vistel_static_tool(<executable>)    link <executable> so when VISTEL_STATIC_TOOLS_ACTIVE
#
# A missing archive or pkg-config module does not fail the configuration: the programs then link
# the shared libraries like everything else, and a status message names what is missing.
include_guard(GLOBAL)

# Imported target | pkg-config module | find_package() arguments, for every third-party library a
# command-line program links; one left out stays shared in the programs too.
set(VISTEL_STATIC_DEPENDENCIES
    "ZLIB::ZLIB|zlib|ZLIB"
    "Libdeflate::Libdeflate|libdeflate|Libdeflate"
    "JPEG::JPEG|libjpeg|JPEG"
    "Freetype::Freetype|freetype2|Freetype"
    "Fontconfig::Fontconfig|fontconfig|Fontconfig"
    "ICU::uc|icu-uc|ICU COMPONENTS uc"
    "ICU::i18n|icu-i18n|ICU COMPONENTS i18n")
# Libraries of glibc, which stays shared; with glibc 2.34 and later pthread and dl are empty.
set(VISTEL_STATIC_SYSTEM_LIBRARIES c m dl pthread rt util resolv)

# The properties of a find module's target that say what a program links, copied to
# VistelShared::<name>, and those that say how its users compile, copied to the switching target.
set(VISTEL_STATIC_LINK_PROPERTIES IMPORTED_CONFIGURATIONS IMPORTED_LOCATION IMPORTED_LINK_INTERFACE_LANGUAGES
                                  INTERFACE_LINK_LIBRARIES INTERFACE_LINK_OPTIONS INTERFACE_LINK_DIRECTORIES)
set(VISTEL_STATIC_COMPILE_PROPERTIES INTERFACE_INCLUDE_DIRECTORIES INTERFACE_SYSTEM_INCLUDE_DIRECTORIES
                                     INTERFACE_COMPILE_OPTIONS INTERFACE_COMPILE_DEFINITIONS
                                     INTERFACE_COMPILE_FEATURES)

function(_vistel_static_split entry out_target out_module out_find)
    string(REPLACE "|" ";" fields "${entry}")
    list(GET fields 0 target)
    list(GET fields 1 module)
    list(GET fields 2 find)
    separate_arguments(find UNIX_COMMAND "${find}")
    set(${out_target} ${target} PARENT_SCOPE)
    set(${out_module} ${module} PARENT_SCOPE)
    set(${out_find} ${find} PARENT_SCOPE)
endfunction()

function(_vistel_static_name target out)
    string(MAKE_C_IDENTIFIER "${target}" name)
    set(${out} ${name} PARENT_SCOPE)
endfunction()

# Called from cmake/static-tools: keeps what each find module's target links as the global
# imported target VistelShared::<name>, and how its users compile in the global property
# VISTEL_STATIC_<name>_<property>.
function(vistel_static_tools_copy_shared)
    foreach(entry IN LISTS VISTEL_STATIC_DEPENDENCIES)
        _vistel_static_split("${entry}" target module find)
        _vistel_static_name(${target} name)
        find_package(${find} REQUIRED)
        get_target_property(type ${target} TYPE)
        string(REGEX REPLACE "_LIBRARY$" "" type ${type})
        add_library(VistelShared::${name} ${type} IMPORTED GLOBAL)
        get_target_property(configurations ${target} IMPORTED_CONFIGURATIONS)
        set(properties ${VISTEL_STATIC_LINK_PROPERTIES})
        foreach(configuration IN LISTS configurations)
            list(APPEND properties IMPORTED_LOCATION_${configuration} IMPORTED_LINK_INTERFACE_LANGUAGES_${configuration})
        endforeach()
        foreach(property IN LISTS properties)
            get_target_property(value ${target} ${property})
            if(NOT value STREQUAL "value-NOTFOUND")
                set_property(TARGET VistelShared::${name} PROPERTY ${property} "${value}")
            endif()
        endforeach()
        foreach(property IN LISTS VISTEL_STATIC_COMPILE_PROPERTIES)
            get_target_property(value ${target} ${property})
            if(value STREQUAL "value-NOTFOUND")
                set(value "")
            endif()
            set_property(GLOBAL PROPERTY VISTEL_STATIC_${name}_${property} "${value}")
        endforeach()
    endforeach()
endfunction()

# The archives of pkg-config module <module> and what they need: sets <out> to the list of imported
# targets of the archives, which know the order pkg-config gives (each archive before those it may
# use), and the system libraries; or to empty and <out_missing> to what is missing.
function(_vistel_static_archives module out out_missing)
    _vistel_static_name(${module} prefix)
    pkg_check_modules(_vistel_static_${prefix} QUIET ${module})
    if(NOT _vistel_static_${prefix}_FOUND)
        set(${out} "" PARENT_SCOPE)
        set(${out_missing} "the pkg-config module ${module}" PARENT_SCOPE)
        return()
    endif()
    # A library named twice must come after everything that needs it: keep its last place.
    set(names ${_vistel_static_${prefix}_STATIC_LIBRARIES})
    list(REVERSE names)
    list(REMOVE_DUPLICATES names)
    list(REVERSE names)
    set(items "")
    set(missing "")
    foreach(library IN LISTS names)
        if(library IN_LIST VISTEL_STATIC_SYSTEM_LIBRARIES)
            list(APPEND items ${library})
            continue()
        endif()
        _vistel_static_name(${library} id)
        find_library(VISTEL_STATIC_ARCHIVE_${id} NAMES lib${library}.a
                     HINTS ${_vistel_static_${prefix}_STATIC_LIBRARY_DIRS})
        mark_as_advanced(VISTEL_STATIC_ARCHIVE_${id})
        if(NOT VISTEL_STATIC_ARCHIVE_${id})
            list(APPEND missing lib${library}.a)
            continue()
        endif()
        if(NOT TARGET VistelStatic::${id})
            add_library(VistelStatic::${id} STATIC IMPORTED GLOBAL)
            set_target_properties(VistelStatic::${id} PROPERTIES IMPORTED_LOCATION ${VISTEL_STATIC_ARCHIVE_${id}})
        endif()
        list(APPEND items VistelStatic::${id})
    endforeach()
    # Each archive may use any that follows it in the module's list.
    list(LENGTH items count)
    foreach(index RANGE 1 ${count})
        math(EXPR before "${index} - 1")
        list(GET items ${before} item)
        if(TARGET ${item} AND index LESS count)
            list(SUBLIST items ${index} -1 after)
            get_target_property(known ${item} INTERFACE_LINK_LIBRARIES)
            if(known STREQUAL "known-NOTFOUND")
                set(known "")
            endif()
            list(APPEND known ${after})
            list(REMOVE_DUPLICATES known)
            set_target_properties(${item} PROPERTIES INTERFACE_LINK_LIBRARIES "${known}")
        endif()
    endforeach()
    if(NOT items)
        list(APPEND missing "the libraries of the pkg-config module ${module}")
    endif()
    set(${out} "${items}" PARENT_SCOPE)
    list(JOIN missing ", " missing)
    set(${out_missing} "${missing}" PARENT_SCOPE)
endfunction()

macro(vistel_static_tools_setup)
    set(VISTEL_STATIC_TOOLS_ACTIVE OFF)
    if(VISTEL_STATIC_TOOLS AND (VISTEL_SANITIZE OR VISTEL_TSAN OR VISTEL_FUZZ))
        message(STATUS "VISTEL_STATIC_TOOLS is ignored in sanitizer and fuzzing builds: the command-line programs link the shared libraries")
    elseif(VISTEL_STATIC_TOOLS)
        _vistel_static_tools_make_targets(VISTEL_STATIC_TOOLS_ACTIVE)
    endif()
endmacro()

function(_vistel_static_tools_make_targets out_active)
    find_package(PkgConfig QUIET)
    # Every archive first: when one is missing, nothing changes.
    set(missing "")
    if(NOT PKG_CONFIG_FOUND)
        set(missing pkg-config)
    endif()
    foreach(entry IN LISTS VISTEL_STATIC_DEPENDENCIES)
        if(NOT PKG_CONFIG_FOUND)
            break()
        endif()
        _vistel_static_split("${entry}" target module find)
        _vistel_static_name(${target} name)
        _vistel_static_archives(${module} archives_${name} missing_here)
        if(missing_here)
            list(APPEND missing "${missing_here}")
        endif()
    endforeach()
    if(missing)
        list(REMOVE_DUPLICATES missing)
        list(JOIN missing ", " missing)
        message(STATUS "VISTEL_STATIC_TOOLS: the command-line programs link the shared libraries, for want of ${missing}")
        set(${out_active} OFF PARENT_SCOPE)
        return()
    endif()

    add_subdirectory(${PROJECT_SOURCE_DIR}/cmake/static-tools ${PROJECT_BINARY_DIR}/static-tools)
    set(static "$<BOOL:$<TARGET_PROPERTY:VISTEL_STATIC_LINK>>")
    foreach(entry IN LISTS VISTEL_STATIC_DEPENDENCIES)
        _vistel_static_split("${entry}" target module find)
        _vistel_static_name(${target} name)
        add_library(${target} INTERFACE IMPORTED GLOBAL)
        foreach(property IN LISTS VISTEL_STATIC_COMPILE_PROPERTIES)
            get_property(value GLOBAL PROPERTY VISTEL_STATIC_${name}_${property})
            if(NOT "${value}" STREQUAL "")
                set_property(TARGET ${target} PROPERTY ${property} "${value}")
            endif()
        endforeach()
        set(archives ${archives_${name}})
        list(TRANSFORM archives REPLACE "^(.+)$" "$<${static}:\\1>")
        set_property(TARGET ${target} PROPERTY INTERFACE_LINK_LIBRARIES
                     ${archives} "$<$<NOT:${static}>:VistelShared::${name}>")
    endforeach()
    message(STATUS "VISTEL_STATIC_TOOLS: the command-line programs link the third-party libraries' static archives")
    set(${out_active} ON PARENT_SCOPE)
endfunction()

function(vistel_static_tool target)
    if(VISTEL_STATIC_TOOLS_ACTIVE)
        set_target_properties(${target} PROPERTIES VISTEL_STATIC_LINK ON)
        target_link_options(${target} PRIVATE -static-libstdc++ -static-libgcc)
    endif()
endfunction()
