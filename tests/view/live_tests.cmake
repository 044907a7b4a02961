# SPDX-License-Identifier: GPL-3.0-or-later
# The live display (included from tests/CMakeLists.txt): its logic and its window against the
# simulated instrument in-process and over TCP, on Qt's offscreen platform.
if(TARGET ktx_sim_instrument AND TARGET ktx-sim AND TARGET ktx_tcp)
    add_executable(kurvitex_live_tests
        ${CMAKE_CURRENT_LIST_DIR}/live_display_test.cpp
        ${CMAKE_CURRENT_LIST_DIR}/live_test_support.cpp
        ${CMAKE_CURRENT_LIST_DIR}/../ui/tlv_frm_test.cpp
        ${CMAKE_CURRENT_LIST_DIR}/../ui/ui_test_main.cpp
        ${CMAKE_CURRENT_LIST_DIR}/../test_files.cpp
    )
    target_include_directories(kurvitex_live_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/..)
    target_compile_definitions(kurvitex_live_tests PRIVATE
        KTX_PROGRAM_DIR="${KTX_PROGRAM_DIR}"
        KTX_DRIVER_DIR="${CMAKE_SOURCE_DIR}/data/Driver"
        KTX_CORPUS_DIR="${KTX_CORPUS_DIR}"
        KTX_SIM_EXE="$<TARGET_FILE:ktx-sim>")
    target_link_libraries(kurvitex_live_tests PRIVATE kurvitex_ui Qt6::Test GTest::gtest)
    add_dependencies(kurvitex_live_tests ktx_sim ktx-sim ktx_tcp)
    set_target_properties(kurvitex_live_tests PROPERTIES
        RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
    gtest_discover_tests(kurvitex_live_tests DISCOVERY_TIMEOUT 60
                         PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endif()
