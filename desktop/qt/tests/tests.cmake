# The plug-in's tests for one Qt version (included by xqob_add_qt_plugin, with major and
# target set): QImageReader and QImageWriter as programs use them, with the plug-in found
# through QT_PLUGIN_PATH.
set(test_target test_qt${major}_plugin)
add_executable(${test_target} ${CMAKE_CURRENT_LIST_DIR}/qt_plugin_test.cpp)
target_link_libraries(${test_target} PRIVATE xqob Qt${major}::Gui GTest::gtest)
target_compile_definitions(${test_target} PRIVATE
  QOB_TOOL_PATH="$<TARGET_FILE:qob>" XQOB_SAMPLES_DIR="${PROJECT_SOURCE_DIR}/samples")
add_dependencies(${test_target} ${target} qob)
# Qt is not built with the sanitizers; it leaves nothing for the leak checker to report.
set(qt_environment QT_PLUGIN_PATH=${CMAKE_BINARY_DIR}/qt${major}/plugins QT_QPA_PLATFORM=offscreen)
gtest_discover_tests(${test_target} TEST_PREFIX qt${major}. DISCOVERY_TIMEOUT 60
                     PROPERTIES TIMEOUT 300 ENVIRONMENT "${qt_environment}")

# cmake --install: the plug-in lands in Qt's plug-ins folder and finds the installed library.
if(NOT XQOB_SANITIZE AND NOT IS_ABSOLUTE "${XQOB_QT${major}_PLUGINDIR}")
  add_test(NAME qt${major}.InstalledPlugin
           COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/installed.sh ${CMAKE_BINARY_DIR}
                   ${XQOB_QT${major}_PLUGINDIR} $<TARGET_FILE:${test_target}>)
endif()
