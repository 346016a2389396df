# SPDX-License-Identifier: GPL-3.0-or-later
# quoril_add_module(NAME KIND LIBRARY...): the library NAME (KIND: MODULE or SHARED) of the
# folder's module.h and module.cpp, which the program loads from beside itself the first time
# it needs it. Only its C entry points are visible, and its ELF names every library it needs,
# so that packaging tools see the dependencies.
function(quoril_add_module name kind)
    add_library(${name} ${kind} module.h module.cpp)
    target_link_libraries(${name} PRIVATE ${ARGN})
    set_target_properties(${name} PROPERTIES
        C_VISIBILITY_PRESET hidden
        CXX_VISIBILITY_PRESET hidden
        VISIBILITY_INLINES_HIDDEN ON
        AUTOMOC OFF)
    target_link_options(${name} PRIVATE LINKER:-z,defs LINKER:--as-needed)
endfunction()
