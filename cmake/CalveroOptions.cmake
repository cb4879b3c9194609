# Warnings and sanitizers for every target of the project. A local that hides
# another name and a polymorphic base without a virtual destructor are faults
# waiting for their day, so they warn with the rest.
add_compile_options(-Wall -Wextra -Wshadow -Wnon-virtual-dtor)
# A warning that only prints scrolls past in a green build: ./test and CI
# fail on it. Turn it off locally to build through warnings while working.
option(CALVERO_WERROR "Make every compiler warning an error" ON)
if(CALVERO_WERROR)
  add_compile_options(-Werror)
endif()

# Every report is fatal: a finding that only prints scrolls past in a green run.
if(CALVERO_SANITIZE STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined -fno-sanitize-recover=all)
elseif(CALVERO_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(NOT CALVERO_SANITIZE STREQUAL "")
  message(FATAL_ERROR "CALVERO_SANITIZE must be address, thread or empty")
endif()

# calvero_test(NAME SOURCES... LIBS lib... [LOCKS resource...]) - one
# GoogleTest executable, linked against the libraries under test (never
# recompiling their sources). LOCKS names what its cases hold alone, such as
# a fixed port, so that a parallel run never has two of them at once.
function(calvero_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;LABELS;LOCKS" ${ARGN})
  # The folder under tests/ labels every case, so that a run can pick
  # subsystems (ctest -L link) however the cases are named.
  file(RELATIVE_PATH folder ${PROJECT_SOURCE_DIR}/tests ${CMAKE_CURRENT_SOURCE_DIR})
  list(APPEND T_LABELS ${folder})
  add_executable(${name} ${T_SOURCES} ${T_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  # Shared test helpers live under tests/support.
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  # A hung test fails in minutes instead of stalling the whole run; the
  # sanitizers slow everything down several times over.
  set(timeout 120)
  if(CALVERO_SANITIZE)
    set(timeout 600)
  endif()
  set(props ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT ${timeout} LABELS "${T_LABELS}")
  if(T_LOCKS)
    list(APPEND props RESOURCE_LOCK "${T_LOCKS}")
  endif()
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES ${props})
endfunction()

# Precompiled headers: the Qt and GoogleTest headers nearly every source of
# a widget library or a test includes, parsed once per target instead of
# once per source. Applied after all targets exist (calvero_apply_pch). Off:
# measured on this tree it costs more processor time than it saves (every
# target compiles its own header), and g++ 12 then reports false
# -Warray-bounds in libstdc++ in two cli test sources.
option(CALVERO_PCH "Precompile the common Qt and GoogleTest headers" OFF)

set(CALVERO_PCH_QT <QObject> <QString> <QList> <QWidget> <QPainter> <QImage>)
set(CALVERO_PCH_TEST <gtest/gtest.h> <string> <vector> <memory> <functional>)

function(calvero_pch_walk dir)
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  foreach(t IN LISTS targets)
    get_target_property(type ${t} TYPE)
    if(NOT type MATCHES "STATIC_LIBRARY|EXECUTABLE|OBJECT_LIBRARY")
      continue()
    endif()
    get_target_property(libs ${t} LINK_LIBRARIES)
    if(NOT libs)
      set(libs "")
    endif()
    set(headers "")
    if(libs MATCHES "(^|;)(Qt6::Widgets|calvero_[a-z_]*ui|calvero_shell|calvero_document|calvero_widgets)(;|$)")
      list(APPEND headers ${CALVERO_PCH_QT})
    endif()
    if(libs MATCHES "GTest::gtest")
      list(APPEND headers ${CALVERO_PCH_TEST})
    endif()
    if(headers)
      target_precompile_headers(${t} PRIVATE ${headers})
    endif()
  endforeach()
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(d IN LISTS subdirs)
    calvero_pch_walk(${d})
  endforeach()
endfunction()

function(calvero_apply_pch)
  if(CALVERO_PCH)
    calvero_pch_walk(${PROJECT_SOURCE_DIR})
  endif()
endfunction()
