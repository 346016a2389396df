# SPDX-License-Identifier: GPL-3.0-or-later
# The engine check: the real engine, a missing one and one with another version record.
add_library(wrongengine SHARED wrongengine.cpp)
set_target_properties(wrongengine PROPERTIES
    OUTPUT_NAME quorilzip
    LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/wrongengine)
target_include_directories(wrongengine PRIVATE ${CMAKE_SOURCE_DIR})

quoril_add_test(tst_engine_check SOURCES tst_engine_check.cpp LIBS quoril_zipengine)
target_compile_definitions(tst_engine_check PRIVATE
    WRONG_ENGINE_DIR="${CMAKE_BINARY_DIR}/wrongengine")
add_dependencies(tst_engine_check wrongengine)

# The reading side through the program's loader and callback tables.
quoril_add_test(tst_engine_unzip SOURCES tst_engine_unzip.cpp LIBS quoril_zipengine)

# Both read paths in-process (the engine's code linked in): the scanner against libzip.
quoril_add_test(tst_engine_readpath SOURCES tst_engine_readpath.cpp LIBS quorilzip_code)

# An engine whose own dependency is missing at run time (as when the system's libzip is gone):
# the loader refuses it, and the engine check must say so rather than end the program.
add_library(gonedependency SHARED wrongengine.cpp)
set_target_properties(gonedependency PROPERTIES
    LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/gonedependency)
target_include_directories(gonedependency PRIVATE ${CMAKE_SOURCE_DIR})
add_library(dependentengine SHARED wrongengine.cpp)
target_link_libraries(dependentengine PRIVATE gonedependency)
target_link_options(dependentengine PRIVATE LINKER:--no-as-needed)
set_target_properties(dependentengine PROPERTIES
    OUTPUT_NAME quorilzip
    SKIP_BUILD_RPATH ON
    LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/dependentengine)
target_include_directories(dependentengine PRIVATE ${CMAKE_SOURCE_DIR})
target_compile_definitions(tst_engine_check PRIVATE
    DEPENDENT_ENGINE_DIR="${CMAKE_BINARY_DIR}/dependentengine")
add_dependencies(tst_engine_check dependentengine)
