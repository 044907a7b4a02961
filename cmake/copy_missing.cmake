# SPDX-License-Identifier: GPL-3.0-or-later
# Copies every file below SRC into DST that DST does not have yet: the program folder's
# settings (kurvitex.ini, instrument definitions a user edited) survive a rebuild.
file(GLOB_RECURSE files RELATIVE ${SRC} ${SRC}/*)
foreach(f ${files})
    if(NOT EXISTS ${DST}/${f})
        get_filename_component(dir ${DST}/${f} DIRECTORY)
        file(MAKE_DIRECTORY ${dir})
        file(COPY_FILE ${SRC}/${f} ${DST}/${f})
    endif()
endforeach()
