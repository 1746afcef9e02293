# Pads the stand-in client with zeros to 64 KiB, after checking that its own
# image ends well before the first patch position.
file(SIZE "${FILE}" size)
if(size GREATER_EQUAL 21000)
  message(FATAL_ERROR "${FILE} is ${size} bytes; it must end before byte 21000")
endif()
execute_process(COMMAND truncate -s 65536 "${FILE}" RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "could not pad ${FILE}")
endif()
