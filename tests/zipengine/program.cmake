# SPDX-License-Identifier: GPL-3.0-or-later
quoril_add_test(tst_engine_program
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_engine_program.cpp
    LIBS quoril_zipengine)
