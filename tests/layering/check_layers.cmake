# Builds each probe of tests/layering: the right-way one must build, the
# wrong-way one must fail because its header is not found.
foreach(probe IN LISTS CHECKED)
  string(REPLACE ":" ";" parts "${probe}")
  list(GET parts 0 name)
  list(GET parts 1 header)
  execute_process(COMMAND ${CMAKE_COMMAND} --build ${BUILD} --target layering_right_${name}
                  RESULT_VARIABLE right OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT right EQUAL 0)
    message(FATAL_ERROR "${header} does not build even where its room is below:\n${output}")
  endif()
  execute_process(COMMAND ${CMAKE_COMMAND} --build ${BUILD} --target layering_wrong_${name}
                  RESULT_VARIABLE wrong OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(wrong EQUAL 0)
    message(FATAL_ERROR "${name}: a room built with ${header}, a header of a room above it")
  endif()
  if(NOT output MATCHES "${header}")
    message(FATAL_ERROR "${name} failed for another reason than ${header}:\n${output}")
  endif()
  message(STATUS "${name}: refused as it should be")
endforeach()
