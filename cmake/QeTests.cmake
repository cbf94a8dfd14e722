# qe_add_tests(LIBS lib...): every tst_*.cpp in the calling folder becomes one
# Qt Test executable registered with CTest, run offscreen. The folder's
# testutil_* files are built once into a library that each of them links.
function(qe_add_tests)
  cmake_parse_arguments(ARG "" "" "LIBS;ENV" ${ARGN})
  file(GLOB tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tst_*.cpp)
  file(GLOB helpers CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/testutil_*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/testutil_*.h)
  get_filename_component(folder ${CMAKE_CURRENT_SOURCE_DIR} NAME)
  set(defs
    QE_CORPUS_DIR="${QE_CORPUS_DIR}"
    QE_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
    QE_BINARY_DIR="${CMAKE_BINARY_DIR}")
  set(util "")
  if(helpers)
    set(util ${folder}_testutil)
    add_library(${util} STATIC ${helpers})
    target_link_libraries(${util} PUBLIC Qt6::Test ${ARG_LIBS})
    target_include_directories(${util} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/tests/shared)
    target_compile_definitions(${util} PUBLIC ${defs})
  endif()
  foreach(src ${tests})
    get_filename_component(name ${src} NAME_WE)
    set(target ${folder}_${name})
    add_executable(${target} ${src})
    target_link_libraries(${target} PRIVATE ${util} Qt6::Test ${ARG_LIBS})
    target_include_directories(${target} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/tests/shared)
    target_compile_definitions(${target} PRIVATE ${defs})
    add_test(NAME ${folder}/${name} COMMAND ${target})
    set_tests_properties(${folder}/${name} PROPERTIES
      ENVIRONMENT "QT_QPA_PLATFORM=offscreen;${ARG_ENV}" TIMEOUT 600)
  endforeach()
endfunction()
