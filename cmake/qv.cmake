# Helpers shared by every folder of the build.

# qv_library(<name> [DEPS <targets>...])
# A static library from every .cpp file of the calling folder. Files ending in
# _win.cpp are Win32 adapters, compiled only by the Windows presets; files
# ending in _posix.cpp are their Linux counterparts.
# Every library registers itself, so that the test programs link all of them.
function(qv_library name)
  cmake_parse_arguments(A "" "" "DEPS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(WIN32)
    list(FILTER srcs EXCLUDE REGEX "_posix\\.cpp$")
  else()
    list(FILTER srcs EXCLUDE REGEX "_win\\.cpp$")
  endif()
  add_library(${name} STATIC ${srcs})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${A_DEPS})
  set_property(GLOBAL APPEND PROPERTY QV_LIBRARIES ${name})
endfunction()

# Google Test: Debian's build natively, built from Debian's sources for MinGW.
macro(qv_find_gtest)
  if(WIN32)
    if(NOT TARGET gtest)
      set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
      set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
      # Defines the GTest::gtest, GTest::gtest_main and GTest::gmock targets.
      add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
    endif()
  else()
    find_package(GTest REQUIRED)
  endif()
endmacro()

# Standalone Asio (header-only, Debian's libasio-dev) for every TCP client and
# server. The MinGW compilers get an include folder that holds Asio alone,
# not the whole of the Linux /usr/include.
add_library(qv_asio INTERFACE)
target_compile_definitions(qv_asio INTERFACE ASIO_STANDALONE)
find_package(Threads REQUIRED)
target_link_libraries(qv_asio INTERFACE Threads::Threads)
if(CMAKE_CXX_FLAGS MATCHES "-fsanitize=thread" AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  # GCC says ThreadSanitizer does not model Asio's atomic_thread_fence.
  target_compile_options(qv_asio INTERFACE -Wno-tsan)
endif()
if(WIN32)
  set(qv_asio_dir ${CMAKE_BINARY_DIR}/asio-include)
  file(MAKE_DIRECTORY ${qv_asio_dir})
  file(CREATE_LINK /usr/include/asio ${qv_asio_dir}/asio SYMBOLIC)
  file(CREATE_LINK /usr/include/asio.hpp ${qv_asio_dir}/asio.hpp SYMBOLIC)
  target_include_directories(qv_asio SYSTEM INTERFACE ${qv_asio_dir})
  target_link_libraries(qv_asio INTERFACE ws2_32 mswsock)
endif()
