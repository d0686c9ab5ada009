# The browser host: Boost.Beast/Asio (headers only) and the client files, which are
# compiled into the library so the console serves them without knowing where it is
# installed. The client's own unit tests run under Node when it is there.

find_package(Boost 1.81 REQUIRED)
find_package(Threads REQUIRED)
target_link_libraries(zv_htmlview PRIVATE Boost::headers PUBLIC Threads::Threads)
if(TARGET htmlview_tests)
  target_link_libraries(htmlview_tests PRIVATE Boost::headers)
endif()

set(zv_client_files
  ${CMAKE_SOURCE_DIR}/htmlview/client/index.html
  ${CMAKE_SOURCE_DIR}/htmlview/client/client.js
  ${CMAKE_SOURCE_DIR}/htmlview/client/wire.js
  ${CMAKE_SOURCE_DIR}/htmlview/client/nodes.js
  ${CMAKE_SOURCE_DIR}/htmlview/client/drawing.js
  ${CMAKE_SOURCE_DIR}/htmlview/client/lazyLists.js
  ${CMAKE_SOURCE_DIR}/htmlview/client/input.js
  ${CMAKE_SOURCE_DIR}/htmlview/client/client.css)
set(zv_client_cpp ${CMAKE_BINARY_DIR}/generated/htmlview/clientFilesData.cpp)
add_custom_command(
  OUTPUT ${zv_client_cpp}
  COMMAND ${CMAKE_COMMAND} -DOUTPUT=${zv_client_cpp} "-DFILES=${zv_client_files}"
          -P ${CMAKE_SOURCE_DIR}/htmlview/client/embed.cmake
  DEPENDS ${zv_client_files} ${CMAKE_SOURCE_DIR}/htmlview/client/embed.cmake
  COMMENT "Embedding the browser client"
  VERBATIM)
target_sources(zv_htmlview PRIVATE ${zv_client_cpp})

if(NOT ZV_FUZZ)
  find_program(ZV_NODE node)
  if(ZV_NODE)
    add_test(NAME htmlview_client_js
             COMMAND ${ZV_NODE} --test ${CMAKE_SOURCE_DIR}/htmlview/client/client.test.js)
  else()
    message(STATUS "node not found: the client script's tests are not registered")
  endif()
endif()
