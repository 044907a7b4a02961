# SPDX-License-Identifier: GPL-3.0-or-later
# Data logger and scanner (included from src/CMakeLists.txt).
target_sources(kurvitex_core PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/data_logger.cpp
    ${CMAKE_CURRENT_LIST_DIR}/log_file_writer.cpp
    ${CMAKE_CURRENT_LIST_DIR}/scanner.cpp
)
target_sources(ktx_cli PRIVATE
    ${CMAKE_SOURCE_DIR}/src/cli/ktx_logger_commands.cpp
)
target_sources(kurvitex_ui PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/logger_commands.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tlog_dial.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tscandlg.cpp
)
