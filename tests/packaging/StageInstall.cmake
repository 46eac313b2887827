# Installs the build into a fresh staging root, as a package build would:
#   cmake -DBUILD_DIR=<build> -DSTAGE=<dir> -DPREFIX=/usr -P StageInstall.cmake
file(REMOVE_RECURSE ${STAGE})
execute_process(COMMAND ${CMAKE_COMMAND} -E env DESTDIR=${STAGE} ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
    OUTPUT_QUIET RESULT_VARIABLE failed)
if(failed)
    message(FATAL_ERROR "cmake --install into ${STAGE} failed")
endif()
