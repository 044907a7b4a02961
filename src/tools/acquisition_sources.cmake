# SPDX-License-Identifier: GPL-3.0-or-later
# Acquisition control and acquisition settings (included from src/CMakeLists.txt).
target_sources(kurvitex_core PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/acquisition_control.cpp
    ${CMAKE_CURRENT_LIST_DIR}/acquisition_settings.cpp
)
target_sources(kurvitex_ui PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/acquisition_commands.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tacq_dlg.cpp
)
