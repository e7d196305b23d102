# Dependencies of a cross build (the cmake/toolchains/ files). The target has
# no Debian packages of its own, so:
#  - GoogleTest is built from Debian's sources in /usr/src/googletest
#    (package googletest) and stands in for find_package(GTest);
#  - the header-only libraries of the tool (nlohmann-json, CLI11) are taken
#    from the build host, through a directory that holds only their headers,
#    so that no other host header reaches the target's compiler.
include(FetchContent)

set(OXSERUTL_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources for cross builds")
if(OXSERUTL_BUILD_TESTS)
  if(NOT EXISTS ${OXSERUTL_GTEST_SOURCE_DIR}/CMakeLists.txt)
    message(FATAL_ERROR "No GoogleTest sources in ${OXSERUTL_GTEST_SOURCE_DIR} (apt-get install googletest)")
  endif()
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  FetchContent_Declare(GTest SOURCE_DIR ${OXSERUTL_GTEST_SOURCE_DIR} OVERRIDE_FIND_PACKAGE)
  FetchContent_MakeAvailable(GTest)
endif()

if(OXSERUTL_BUILD_TOOLS)
  set(_host_headers ${CMAKE_BINARY_DIR}/host-headers)
  file(MAKE_DIRECTORY ${_host_headers})
  foreach(_pkg "nlohmann_json;nlohmann;3.0.0" "CLI11;CLI;2.0.0")
    list(GET _pkg 0 _name)
    list(GET _pkg 1 _dir)
    list(GET _pkg 2 _version)
    if(NOT EXISTS /usr/include/${_dir})
      message(FATAL_ERROR "Cross builds of the tool take /usr/include/${_dir} from the host; install it")
    endif()
    file(CREATE_LINK /usr/include/${_dir} ${_host_headers}/${_dir} SYMBOLIC)
    string(TOLOWER ${_name} _lower)
    file(WRITE ${CMAKE_FIND_PACKAGE_REDIRECTS_DIR}/${_lower}-config.cmake
      "if(NOT TARGET ${_name}::${_name})\n"
      "  add_library(${_name}::${_name} INTERFACE IMPORTED)\n"
      "  set_target_properties(${_name}::${_name} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${_host_headers})\n"
      "endif()\n")
    file(WRITE ${CMAKE_FIND_PACKAGE_REDIRECTS_DIR}/${_lower}-config-version.cmake
      "set(PACKAGE_VERSION ${_version})\nset(PACKAGE_VERSION_COMPATIBLE TRUE)\n")
  endforeach()
endif()

# A big-endian target cannot read the host's compiled locales: C.UTF-8,
# which the tests use, is compiled for it into the build tree (the test
# presets point LOCPATH there). Needs the host's localedef (package locales).
# Not en_US.ISO-8859-1: Debian's cross C library has no iconv modules, so
# nothing could convert it; its tests skip as where it is not installed.
if(OXSERUTL_BUILD_TESTS AND CMAKE_CXX_BYTE_ORDER STREQUAL "BIG_ENDIAN" AND CMAKE_HOST_SYSTEM_NAME STREQUAL "Linux")
  find_program(OXSERUTL_LOCALEDEF localedef NO_CMAKE_FIND_ROOT_PATH)
  foreach(_locale "C;UTF-8;C.UTF-8")
    list(GET _locale 0 _input)
    list(GET _locale 1 _charmap)
    list(GET _locale 2 _name)
    if(OXSERUTL_LOCALEDEF AND NOT EXISTS ${CMAKE_BINARY_DIR}/locale/${_name}/LC_CTYPE)
      file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/locale)
      execute_process(COMMAND ${OXSERUTL_LOCALEDEF} --big-endian -i ${_input} -f ${_charmap}
                              ${CMAKE_BINARY_DIR}/locale/${_name} RESULT_VARIABLE _rc OUTPUT_QUIET ERROR_QUIET)
    endif()
    if(NOT EXISTS ${CMAKE_BINARY_DIR}/locale/${_name}/LC_CTYPE)
      message(WARNING "No big-endian ${_name} locale: the tests that need it skip or fail")
    endif()
  endforeach()
endif()
