# SPDX-License-Identifier: GPL-3.0-or-later
# Data logger and scanner against the simulated instrument in-process (included from
# tests/CMakeLists.txt).
if(TARGET ktx_sim_instrument)
    add_executable(kurvitex_logger_tests
        ${CMAKE_CURRENT_LIST_DIR}/data_logger_test.cpp
        ${CMAKE_CURRENT_LIST_DIR}/scanner_test.cpp
        ${CMAKE_CURRENT_LIST_DIR}/ktx_logger_cli_test.cpp
        ${CMAKE_CURRENT_LIST_DIR}/../test_files.cpp
    )
    target_include_directories(kurvitex_logger_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests)
    target_compile_definitions(kurvitex_logger_tests PRIVATE
        KTX_DRIVER_DIR="${CMAKE_SOURCE_DIR}/data/Driver"
        KTX_CORPUS_DIR="${KTX_CORPUS_DIR}"
        KTX_PROGRAM_DIR="${KTX_PROGRAM_DIR}"
        KTX_TOOL="$<TARGET_FILE:ktx>")
    target_link_libraries(kurvitex_logger_tests PRIVATE kurvitex_core ktx_cli GTest::gtest
                                                        GTest::gtest_main)
    add_dependencies(kurvitex_logger_tests ktx_sim ktx)
    set_target_properties(kurvitex_logger_tests PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
    gtest_discover_tests(kurvitex_logger_tests DISCOVERY_TIMEOUT 60)
endif()
# The two dialogs on Qt's offscreen platform.
if(TARGET ktx_sim_instrument)
    add_executable(kurvitex_logger_ui_tests
        ${CMAKE_CURRENT_LIST_DIR}/logger_ui_test.cpp
        ${CMAKE_CURRENT_LIST_DIR}/../ui/ui_test_main.cpp
        ${CMAKE_CURRENT_LIST_DIR}/../test_files.cpp
    )
    target_include_directories(kurvitex_logger_ui_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests)
    target_compile_definitions(kurvitex_logger_ui_tests PRIVATE
        KTX_DRIVER_DIR="${CMAKE_SOURCE_DIR}/data/Driver"
        KTX_CORPUS_DIR="${KTX_CORPUS_DIR}"
        KTX_PROGRAM_DIR="${KTX_PROGRAM_DIR}")
    target_link_libraries(kurvitex_logger_ui_tests PRIVATE kurvitex_ui GTest::gtest)
    add_dependencies(kurvitex_logger_ui_tests ktx_sim)
    set_target_properties(kurvitex_logger_ui_tests PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
    gtest_discover_tests(kurvitex_logger_ui_tests DISCOVERY_TIMEOUT 60
                         PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endif()
