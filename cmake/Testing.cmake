# add_unit_test(NAME SOURCES a.cpp b.cpp LIBS x y LABELS slow)
# One GoogleTest executable; its cases are registered with CTest one by one.
function(add_unit_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE test_support ${T_LIBS} GTest::gtest GTest::gtest_main)
  if(WIN32)
    if(MINGW)
      # Runs under Wine without the MinGW runtime libraries beside it.
      target_link_options(${name} PRIVATE -static)
    endif()
    return()  # run by .ci/windows-tests.sh under Wine, where the line host is
  endif()
  set(props "")
  if(T_LABELS)
    set(props PROPERTIES LABELS "${T_LABELS}")
  endif()
  gtest_discover_tests(${name} TEST_PREFIX "${name}." DISCOVERY_TIMEOUT 60 ${props})
endfunction()

# Every *Test.cpp of the current folder becomes a test executable linking LIBS;
# folder-specific targets live in *.cmake files beside them. The files named
# in POSIX_ONLY or WINDOWS_ONLY test one platform's own behaviour and are
# left out of the other's builds.
function(add_folder_tests prefix)
  cmake_parse_arguments(F "" "" "LIBS;POSIX_ONLY;WINDOWS_ONLY" ${ARGN})
  file(GLOB tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*Test.cpp)
  foreach(source ${tests})
    get_filename_component(base ${source} NAME_WE)
    get_filename_component(file ${source} NAME)
    if((WIN32 AND file IN_LIST F_POSIX_ONLY) OR (NOT WIN32 AND file IN_LIST F_WINDOWS_ONLY))
      continue()
    endif()
    add_unit_test(${prefix}_${base} SOURCES ${source} LIBS ${F_LIBS})
  endforeach()
  file(GLOB extras CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cmake)
  foreach(extra ${extras})
    include(${extra})
  endforeach()
endfunction()
