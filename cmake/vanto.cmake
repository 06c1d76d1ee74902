# vanto_folder_library(NAME DIR [DEPS ...]): a static library of every .cpp in DIR.
function(vanto_folder_library name dir)
  file(GLOB srcs CONFIGURE_DEPENDS ${dir}/*.cpp)
  if(NOT srcs)
    # A folder whose code has not landed yet: headers only.
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/include)
    return()
  endif()
  add_library(${name} STATIC ${srcs})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/include)
  if(ARGN)
    target_link_libraries(${name} PUBLIC ${ARGN})
  endif()
endfunction()

# vanto_test_folder(NAME DIR LIBS...): one GoogleTest executable of every .cpp in DIR, under ctest.
function(vanto_test_folder name dir)
  file(GLOB srcs CONFIGURE_DEPENDS ${dir}/*.cpp)
  if(NOT srcs)
    return()
  endif()
  add_executable(${name} ${srcs})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/include ${CMAKE_SOURCE_DIR}/tests)
  target_link_libraries(${name} PRIVATE ${ARGN} GTest::gtest GTest::gtest_main Threads::Threads)
  target_compile_definitions(${name} PRIVATE
    VANTO_SOURCE_DIR="${CMAKE_SOURCE_DIR}" VANTO_BUILD_DIR="${CMAKE_BINARY_DIR}"
    VANTO_SHARED_DIR="${CMAKE_SOURCE_DIR}/../shared")
  include(GoogleTest)
  # Tests of one executable share their loopback addresses and ports, so they never run at the
  # same time; different executables use different address ranges and may run side by side.
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300 RESOURCE_LOCK ${name})
endfunction()
