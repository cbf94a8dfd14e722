# qe_add_tests(LIBS lib...): every tst_*.cpp in the calling folder becomes one
# Qt Test executable registered with CTest, run offscreen.
function(qe_add_tests)
  cmake_parse_arguments(ARG "" "" "LIBS;ENV" ${ARGN})
  file(GLOB tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tst_*.cpp)
  file(GLOB helpers CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/testutil_*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/testutil_*.h)
  get_filename_component(folder ${CMAKE_CURRENT_SOURCE_DIR} NAME)
  foreach(src ${tests})
    get_filename_component(name ${src} NAME_WE)
    set(target ${folder}_${name})
    add_executable(${target} ${src} ${helpers})
    target_link_libraries(${target} PRIVATE Qt6::Test ${ARG_LIBS})
    target_include_directories(${target} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
    target_compile_definitions(${target} PRIVATE
      QE_CORPUS_DIR="${QE_CORPUS_DIR}"
      QE_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
      QE_BINARY_DIR="${CMAKE_BINARY_DIR}")
    add_test(NAME ${folder}/${name} COMMAND ${target})
    set_tests_properties(${folder}/${name} PROPERTIES
      ENVIRONMENT "QT_QPA_PLATFORM=offscreen;${ARG_ENV}" TIMEOUT 600)
  endforeach()
endfunction()
