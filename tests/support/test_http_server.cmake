# The in-process cpp-httplib server holder, a library of its own so that the benchmarks can use it
# without the rest of the test helpers. Included from tests/support and from bench (which may be
# built without the tests); the first inclusion defines it.
if(NOT TARGET test_http_server)
  add_library(test_http_server STATIC ${CMAKE_CURRENT_LIST_DIR}/test_http_server.cpp)
  target_include_directories(test_http_server PUBLIC ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(test_http_server PUBLIC standin_certificate PkgConfig::HTTPLIB OpenSSL::SSL
                        OpenSSL::Crypto Threads::Threads sucaigang_options)
endif()
