# SPDX-License-Identifier: GPL-3.0-or-later
# The live display (included from src/CMakeLists.txt).
target_sources(kurvitex_core PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/live_display.cpp
)
target_sources(kurvitex_ui PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/live_commands.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tktx_lva_dial.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tlv_frm.cpp
)
