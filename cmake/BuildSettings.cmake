# One place for the language level, warnings and Qt strictness; every target links it.
set(CMAKE_CXX_EXTENSIONS OFF)
set(CMAKE_C_EXTENSIONS OFF)

add_library(brevant_build_settings INTERFACE)
target_compile_features(brevant_build_settings INTERFACE cxx_std_20)
if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
    target_compile_options(brevant_build_settings INTERFACE
        -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wcast-align -Woverloaded-virtual
        $<$<BOOL:${BREVANT_WERROR}>:-Werror>)
elseif(MSVC)
    target_compile_options(brevant_build_settings INTERFACE /W4 /permissive- $<$<BOOL:${BREVANT_WERROR}>:/WX>)
endif()
target_compile_definitions(brevant_build_settings INTERFACE
    QT_NO_CAST_TO_ASCII
    QT_NO_CAST_FROM_BYTEARRAY
    QT_NO_URL_CAST_FROM_STRING
    QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
    QT_NO_FOREACH
    QT_USE_QSTRINGBUILDER
    QT_STRICT_ITERATORS
    QT_DISABLE_DEPRECATED_BEFORE=0x060400)

# The program loads libHalvic by its bare name, the way a Windows program finds a DLL beside its
# executable. dlopen() only consults the executable's old-style DT_RPATH (not DT_RUNPATH) for a
# library requested from inside Qt, so executables carry DT_RPATH. It names the executable's own
# directory (the build tree, an unpacked folder) and the installed private library directory, and
# nothing else. Build and install use the same run path, so that CMake never pads it for a later
# rewrite: padding adds empty entries, and an empty entry makes the loader search the current
# directory.
include(GNUInstallDirs)
set(BREVANT_PRIVATE_LIBDIR "${CMAKE_INSTALL_LIBDIR}/brevant")
file(RELATIVE_PATH _brevant_bin_to_private "/${CMAKE_INSTALL_BINDIR}" "/${BREVANT_PRIVATE_LIBDIR}")
if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
    target_link_options(brevant_build_settings INTERFACE -Wl,--disable-new-dtags)
endif()
set(CMAKE_BUILD_WITH_INSTALL_RPATH ON)
set(CMAKE_INSTALL_RPATH "$ORIGIN:$ORIGIN/${_brevant_bin_to_private}")
