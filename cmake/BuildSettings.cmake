# One place for the language level, warnings and Qt strictness; every target links it.
add_library(brevant_build_settings INTERFACE)
target_compile_features(brevant_build_settings INTERFACE cxx_std_20)
target_compile_options(brevant_build_settings INTERFACE
    -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wcast-align -Woverloaded-virtual
    $<$<BOOL:${BREVANT_WERROR}>:-Werror>)
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
# library requested from inside Qt, so executables carry DT_RPATH=$ORIGIN.
target_link_options(brevant_build_settings INTERFACE -Wl,--disable-new-dtags)
set(CMAKE_BUILD_RPATH "$ORIGIN")
set(CMAKE_INSTALL_RPATH "$ORIGIN")
