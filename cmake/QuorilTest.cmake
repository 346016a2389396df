# SPDX-License-Identifier: GPL-3.0-or-later
# quoril_add_test(NAME SOURCES src... LIBS lib...)
# One Qt Test executable per module, registered with ctest under a fixed locale and the
# offscreen platform. The executable lands in bin/, beside the engine library. Each test keeps
# its collection index in a cache folder of its own, never the user's.
function(quoril_add_test name)
    cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE Qt6::Test quoril_testsupport ${T_LIBS})
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LC_ALL=C.UTF-8;LANG=C.UTF-8;QUORIL_SOURCE_DIR=${CMAKE_SOURCE_DIR};XDG_CACHE_HOME=${CMAKE_BINARY_DIR}/test-cache/${name}"
        TIMEOUT 600)
    if(TARGET quorilzip)
        add_dependencies(${name} quorilzip)
    endif()
endfunction()
