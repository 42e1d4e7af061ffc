# veltro_folder(NAME CORE_LIBS... [WIDGET_LIBS ...]): a subsystem folder builds two static
# libraries from globs, so that files can be added without touching the build:
#   NAME          from NAME/*.cpp          (Qt Core/Network only: protocol, records, files, flows)
#   NAME_widgets  from NAME/widgets/*.cpp  (views and dialogs on top of NAME)
function(veltro_folder name)
  cmake_parse_arguments(ARG "" "" "CORE_LIBS;WIDGET_LIBS" ${ARGN})
  file(GLOB core CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  file(GLOB widgets CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/widgets/*.cpp)
  list(FILTER core EXCLUDE REGEX "/main\\.cpp$")
  if(core)
    add_library(${name} STATIC ${core})
  else()
    add_library(${name} INTERFACE)
  endif()
  if(core)
    target_link_libraries(${name} PUBLIC platform Qt6::Core Qt6::Network ${ARG_CORE_LIBS})
    veltro_pch(${name})
  else()
    target_link_libraries(${name} INTERFACE platform Qt6::Core Qt6::Network ${ARG_CORE_LIBS})
  endif()
  # Both libraries always exist (empty ones as interface libraries), so that other folders
  # can link them before they have sources.
  if(widgets)
    add_library(${name}_widgets STATIC ${widgets})
    target_link_libraries(${name}_widgets PUBLIC ${name} platform_widgets Qt6::Widgets
                          ${ARG_WIDGET_LIBS})
  else()
    add_library(${name}_widgets INTERFACE)
    target_link_libraries(${name}_widgets INTERFACE ${name} platform_widgets Qt6::Widgets
                          ${ARG_WIDGET_LIBS})
  endif()
endfunction()

# veltro_folder_tests(FOLDER LIBS...): FOLDER_tests from tests/FOLDER/*Test.cpp and
# FOLDER_widgets_tests (GUI) from tests/FOLDER/widgets/*Test.cpp.
function(veltro_folder_tests folder)
  cmake_parse_arguments(ARG "" "" "LIBS;WIDGET_LIBS" ${ARGN})
  file(GLOB core CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*Test.cpp)
  file(GLOB widgets CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/widgets/*Test.cpp)
  if(core)
    veltro_test(${folder}_tests SOURCES ${core} LIBS ${ARG_LIBS} test_support)
  endif()
  if(widgets)
    veltro_test(${folder}_widgets_tests GUI SOURCES ${widgets}
                LIBS ${ARG_LIBS} ${ARG_WIDGET_LIBS} test_support)
  endif()
endfunction()
