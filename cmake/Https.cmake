# HTTPS and JSON for the token of a mail login.
#
# JSON: nlohmann-json, header-only, from Debian's nlohmann-json3-dev. The
# cross build must not search the host's /usr/include (its C library headers
# would be found first), so the library's own folder is copied into the build
# tree and only that copy is put on the include path.
find_path(VELTRUM_JSON_INCLUDE nlohmann/json.hpp PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH
  REQUIRED)
file(COPY ${VELTRUM_JSON_INCLUDE}/nlohmann DESTINATION ${CMAKE_BINARY_DIR}/json-include)
add_library(veltrum_json INTERFACE)
target_include_directories(veltrum_json SYSTEM INTERFACE ${CMAKE_BINARY_DIR}/json-include)

# HTTPS: libcurl with OpenSSL on POSIX (its CA hook adds the CA file to the
# system's store; the OpenSSL build of libcurl is the one it loads); WinHTTP
# on Windows, with crypt32 for the chain check.
add_library(veltrum_https INTERFACE)
if(WIN32)
  target_link_libraries(veltrum_https INTERFACE winhttp crypt32)
else()
  find_package(PkgConfig REQUIRED)
  # libcurl's header only: the library is loaded when a run needs it.
  pkg_check_modules(CURL REQUIRED libcurl)
  target_include_directories(veltrum_https INTERFACE ${CURL_INCLUDE_DIRS})
  # OpenSSL's headers too: the CA file is added through the TLS channel's
  # loaded OpenSSL (src/platform/net/ssl_library_posix.h).
  find_package(OpenSSL 3.0 REQUIRED)
  target_include_directories(veltrum_https INTERFACE ${OPENSSL_INCLUDE_DIR})
  target_link_libraries(veltrum_https INTERFACE ${CMAKE_DL_LIBS})
endif()
