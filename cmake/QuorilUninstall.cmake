# SPDX-License-Identifier: GPL-3.0-or-later
# cmake -DMANIFEST=<build>/install_manifest.txt -P QuorilUninstall.cmake
# Removes every file that an install of this build listed in its manifest, then the program's
# own folders (those named quoril) that are left empty. Folders shared with other programs
# (bin, share/man/man1, ...) stay.
if(NOT EXISTS "${MANIFEST}")
    message(FATAL_ERROR "Nothing to uninstall: ${MANIFEST} does not exist; install first")
endif()
file(STRINGS "${MANIFEST}" files)
set(folders "")
foreach(file IN LISTS files)
    if(EXISTS "${file}" OR IS_SYMLINK "${file}")
        message(STATUS "Removing: ${file}")
        file(REMOVE "${file}")
    endif()
    get_filename_component(folder "${file}" DIRECTORY)
    # Every folder on the way up that belongs to the program: lib/quoril, share/quoril/lang.
    while(folder MATCHES "/quoril(/|$)")
        list(APPEND folders "${folder}")
        get_filename_component(folder "${folder}" DIRECTORY)
    endwhile()
endforeach()
list(REMOVE_DUPLICATES folders)
list(SORT folders ORDER DESCENDING) # deepest first
foreach(folder IN LISTS folders)
    file(GLOB left "${folder}/*" "${folder}/.*")
    if(IS_DIRECTORY "${folder}" AND NOT left)
        file(REMOVE_RECURSE "${folder}")
    endif()
endforeach()
