# SPDX-License-Identifier: GPL-3.0-or-later
# Measurement dialog, fast timer and multimeter dialogs (included from src/CMakeLists.txt).
target_sources(kurvitex_core PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/fast_timer.cpp
    ${CMAKE_CURRENT_LIST_DIR}/measurement.cpp
    ${CMAKE_CURRENT_LIST_DIR}/multimeter.cpp
)
target_sources(kurvitex_ui PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/measure_commands.cpp
    ${CMAKE_CURRENT_LIST_DIR}/meter_text.cpp
    ${CMAKE_CURRENT_LIST_DIR}/multimeter_dialogs.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tmess_dial.cpp
)
