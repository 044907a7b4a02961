# SPDX-License-Identifier: GPL-3.0-or-later
# Measurement dialog, fast timer and multimeter dialogs against the simulated instrument
# in-process (included from tests/CMakeLists.txt).
if(TARGET ktx_sim_instrument)
    add_executable(kurvitex_measure_tests
        ${CMAKE_CURRENT_LIST_DIR}/fast_timer_test.cpp
        ${CMAKE_CURRENT_LIST_DIR}/measurement_test.cpp
        ${CMAKE_CURRENT_LIST_DIR}/multimeter_test.cpp
        ${CMAKE_CURRENT_LIST_DIR}/measure_test_support.cpp
        ${CMAKE_CURRENT_LIST_DIR}/../test_files.cpp
    )
    target_include_directories(kurvitex_measure_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests)
    target_compile_definitions(kurvitex_measure_tests PRIVATE
        KTX_DRIVER_DIR="${CMAKE_SOURCE_DIR}/data/Driver"
        KTX_PROGRAM_DIR="${KTX_PROGRAM_DIR}"
        KTX_CORPUS_DIR="${KTX_CORPUS_DIR}")
    target_link_libraries(kurvitex_measure_tests PRIVATE kurvitex_core GTest::gtest
                                                         GTest::gtest_main)
    add_dependencies(kurvitex_measure_tests ktx_sim)
    set_target_properties(kurvitex_measure_tests PROPERTIES
                          RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
    gtest_discover_tests(kurvitex_measure_tests DISCOVERY_TIMEOUT 60)
endif()
