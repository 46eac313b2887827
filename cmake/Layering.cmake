# Dependencies inside src/ run one way. Each folder may include only the folders listed for it;
# a folder's own files may always include each other. Run at configure time, and as the test
# build/layering (cmake -DSOURCE_DIR=<repo>/src -P cmake/Layering.cmake) so that a wrong-way
# include added later fails the suite even without a new configure.
#
#   base                  nothing: the result type and the logging categories
#   platform              the adapters' interfaces and their implementations (qt, linux, posix)
#   platform/qtwidgets    adapters that need a user interface (tray icon, message box)
#   platform/sim          simulated devices and virtual time, for the drill, tests and benchmarks
#   config, link, records the settings file, the UPS links, the record databases
#   shutdown              countdown, alarm, shutdown sequence and hand-over, save-list import
#   monitor               poll tick, power-state machine, status display
#   engine                the whole monitor without windows: start-up, exit, windows shown, questions
#   controls              the skinned controls (widgets, no engine)
#   art                   the pictures of the windows and their catalogue
#   <folder>/ui           the windows and pages of a subsystem: any core folder, the controls, the art
#   app                   the program: everything
cmake_policy(SET CMP0057 NEW)
set(_core base platform config link records shutdown monitor engine)
set(_allowed_base "")
set(_allowed_platform base)
set(_allowed_platform/qtwidgets base platform art)
set(_allowed_platform/sim base platform)
set(_allowed_config base platform)
set(_allowed_link base platform config)
set(_allowed_records base platform config)
set(_allowed_shutdown base platform config link records)
set(_allowed_monitor base platform config link records shutdown)
set(_allowed_engine base platform config link records shutdown monitor)
set(_allowed_controls base)
set(_allowed_art base)
set(_allowed_ui ${_core} controls art)
set(_allowed_app ${_core} controls art platform/qtwidgets ui)

# The layer a source file belongs to, from its path below src/.
function(_brevant_layer relative out)
    if(relative MATCHES "^app/")
        set(layer app)
    elseif(relative MATCHES "^[a-z]+/ui/")
        set(layer ui)
    elseif(relative MATCHES "^platform/(qtwidgets|sim)/")
        string(REGEX REPLACE "^(platform/[a-z]+)/.*" "\\1" layer "${relative}")
    else()
        string(REGEX REPLACE "^([a-z]+)/.*" "\\1" layer "${relative}")
    endif()
    set(${out} ${layer} PARENT_SCOPE)
endfunction()

function(brevant_check_layering source_dir)
    file(GLOB_RECURSE sources RELATIVE ${source_dir} ${source_dir}/*.h ${source_dir}/*.cpp)
    set(violations "")
    foreach(file IN LISTS sources)
        _brevant_layer(${file} layer)
        file(STRINGS ${source_dir}/${file} includes REGEX "^#include \"[a-z]+/")
        foreach(line IN LISTS includes)
            string(REGEX REPLACE "^#include \"([^\"]+)\".*" "\\1" target "${line}")
            _brevant_layer(${target} target_layer)
            if(target_layer STREQUAL layer)
                continue()
            endif()
            if(NOT target_layer IN_LIST _allowed_${layer})
                list(APPEND violations "  src/${file}: ${layer} must not include ${target}")
            endif()
        endforeach()
    endforeach()
    if(violations)
        list(JOIN violations "\n" text)
        message(FATAL_ERROR "Includes against the direction of the layers:\n${text}")
    endif()
endfunction()

if(CMAKE_SCRIPT_MODE_FILE)
    brevant_check_layering(${SOURCE_DIR})
endif()
