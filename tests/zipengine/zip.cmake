# SPDX-License-Identifier: GPL-3.0-or-later
# Runs one ZpArchive in a process of its own (the crash test kills it half-way).
add_executable(tst_engine_zip_helper zip_helper.cpp)
target_link_libraries(tst_engine_zip_helper PRIVATE Qt6::Core quoril_zipengine)
add_dependencies(tst_engine_zip_helper quorilzip)

quoril_add_test(tst_engine_zip SOURCES tst_engine_zip.cpp LIBS quoril_zipengine)
add_dependencies(tst_engine_zip tst_engine_zip_helper)
