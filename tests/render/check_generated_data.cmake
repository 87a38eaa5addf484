# Runs the data generators of the noise tables and the crater maps into WORK and compares their
# output with the committed files. (The lunar map needs a picture from a Debian package and is
# not regenerated here.)
file(MAKE_DIRECTORY ${WORK})
execute_process(COMMAND ${PYTHON} ${SOURCE}/tools/make_noise_seed_table.py ${WORK}/noise_seed_data.cpp
                RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "make_noise_seed_table.py failed: ${result}")
endif()
execute_process(COMMAND ${PYTHON} ${SOURCE}/tools/make_texture_maps.py ${WORK}/textures
                RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "make_texture_maps.py failed: ${result}")
endif()

set(pairs
  ${WORK}/noise_seed_data.cpp=${SOURCE}/render/noise_seed_data.cpp
  ${WORK}/textures/crater146.raw=${SOURCE}/resources/textures/crater146.raw
  ${WORK}/textures/crater148.raw=${SOURCE}/resources/textures/crater148.raw
  ${WORK}/textures/crater149.raw=${SOURCE}/resources/textures/crater149.raw
  ${WORK}/textures/crater150.raw=${SOURCE}/resources/textures/crater150.raw)
foreach(pair ${pairs})
  string(REPLACE "=" ";" files ${pair})
  list(GET files 0 made)
  list(GET files 1 committed)
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${made} ${committed} RESULT_VARIABLE differ)
  if(NOT differ EQUAL 0)
    message(FATAL_ERROR "${committed} differs from what its generator writes")
  endif()
  message(STATUS "same: ${committed}")
endforeach()
