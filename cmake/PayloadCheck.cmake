# Writes the resource script of the payload's check, IDR_ARCHIVE_CHECK: the archive's size and
# zlib CRC-32 as the last line of "vlnpack test" gives them, each a little-endian 32-bit
# value. The installer compares its staged payload with it before it changes anything.
# Usage: cmake -DVLNPACK=tool -DPAYLOAD=archive -DOUTPUT=file.rc -P PayloadCheck.cmake
execute_process(COMMAND "${VLNPACK}" test "${PAYLOAD}"
                OUTPUT_VARIABLE out RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "vlnpack test ${PAYLOAD} failed (${status})")
endif()
string(REGEX MATCH "size ([0-9]+) crc32 ([0-9a-f]+)\r?\n?$" line "${out}")
if(NOT line)
  message(FATAL_ERROR "vlnpack test ${PAYLOAD} gave no size and CRC-32")
endif()
file(WRITE "${OUTPUT}" "#include \"${CMAKE_CURRENT_LIST_DIR}/../resources/resource.h\"\n"
                      "IDR_ARCHIVE_CHECK ARCHIVE\nBEGIN\n  ${CMAKE_MATCH_1}L, 0x${CMAKE_MATCH_2}L\nEND\n")
