# Window tests: QtTest programs on the offscreen platform, and the real
# window under Xvfb with a screenshot of every page.
find_package(Qt6 REQUIRED COMPONENTS Widgets Test)
set(ui_lsan "LSAN_OPTIONS=suppressions=${CMAKE_CURRENT_SOURCE_DIR}/ui/lsan.supp")

function(kf_ui_program t src)
  add_executable(${t} ${src})
  set_target_properties(${t} PROPERTIES AUTOMOC ON)
  target_include_directories(${t} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(${t} PRIVATE kf_ui Qt6::Test)
  target_compile_definitions(${t} PRIVATE KF_TEST_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
    KF_SCREENS_DIR="${CMAKE_CURRENT_BINARY_DIR}/ui_screens")
endfunction()

file(GLOB ui_tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/ui/test_*.cpp)
foreach(f ${ui_tests})
  get_filename_component(n ${f} NAME_WE)
  kf_ui_program(ui_${n} ${f})
  add_test(NAME ui_${n} COMMAND ui_${n})
  set_tests_properties(ui_${n} PROPERTIES LABELS ui TIMEOUT 600
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;XDG_CONFIG_HOME=${CMAKE_CURRENT_BINARY_DIR}/ui_config;${ui_lsan}")
endforeach()
add_dependencies(ui_test_presets_menu preset-bank)

find_program(KF_XVFB Xvfb)
if(KF_XVFB)
  set(screens ${CMAKE_CURRENT_BINARY_DIR}/ui_screens)
  kf_ui_program(ui_screens_xvfb ${CMAKE_CURRENT_SOURCE_DIR}/ui/screens_xvfb.cpp)
  add_test(NAME ui_xvfb_start COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/ui/xvfb.sh start ${screens})
  add_test(NAME ui_xvfb_stop COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/ui/xvfb.sh stop ${screens})
  set_tests_properties(ui_xvfb_start PROPERTIES FIXTURES_SETUP kf_xvfb LABELS ui)
  set_tests_properties(ui_xvfb_stop PROPERTIES FIXTURES_CLEANUP kf_xvfb LABELS ui)
  add_test(NAME ui_screens_xvfb COMMAND ui_screens_xvfb ${screens})
  set_tests_properties(ui_screens_xvfb PROPERTIES FIXTURES_REQUIRED kf_xvfb LABELS ui TIMEOUT 300
    ENVIRONMENT "QT_QPA_PLATFORM=xcb;XDG_CONFIG_HOME=${CMAKE_CURRENT_BINARY_DIR}/ui_config;${ui_lsan}")
endif()
