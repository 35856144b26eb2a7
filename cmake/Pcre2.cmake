# PCRE2 (8-bit): the system library through pkg-config on POSIX; a static
# build prepared by scripts/bootstrap for the Windows cross build.
add_library(veltrum_pcre2 INTERFACE)
if(WIN32)
  set(VELTRUM_PCRE2_ROOT "${CMAKE_SOURCE_DIR}/third_party/win64" CACHE PATH "PCRE2 for Windows")
  target_include_directories(veltrum_pcre2 INTERFACE ${VELTRUM_PCRE2_ROOT}/include)
  target_link_libraries(veltrum_pcre2 INTERFACE ${VELTRUM_PCRE2_ROOT}/lib/libpcre2-8.a)
  target_compile_definitions(veltrum_pcre2 INTERFACE PCRE2_STATIC)
else()
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(PCRE2 REQUIRED IMPORTED_TARGET libpcre2-8)
  target_link_libraries(veltrum_pcre2 INTERFACE PkgConfig::PCRE2)
endif()
