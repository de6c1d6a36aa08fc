# The date a build stands for, so that two builds of one source give the same bytes:
# SOURCE_DATE_EPOCH when set, otherwise the time of the last commit. It stamps the link and
# the copyright year, and a new commit configures again.
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(VLN2_SOURCE_DATE_EPOCH "$ENV{SOURCE_DATE_EPOCH}")
else()
  execute_process(
    COMMAND git -C "${CMAKE_SOURCE_DIR}" log -1 --format=%ct
    OUTPUT_VARIABLE VLN2_SOURCE_DATE_EPOCH
    OUTPUT_STRIP_TRAILING_WHITESPACE
    ERROR_QUIET)
  if(NOT VLN2_SOURCE_DATE_EPOCH MATCHES "^[0-9]+$")
    message(FATAL_ERROR "No commit to date the build by: set SOURCE_DATE_EPOCH")
  endif()
  execute_process(
    COMMAND git -C "${CMAKE_SOURCE_DIR}" rev-parse --path-format=absolute --git-path logs/HEAD
    OUTPUT_VARIABLE head_log
    OUTPUT_STRIP_TRAILING_WHITESPACE
    ERROR_QUIET)
  if(EXISTS "${head_log}")
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${head_log}")
  endif()
endif()
set(ENV{SOURCE_DATE_EPOCH} "${VLN2_SOURCE_DATE_EPOCH}")  # read by string(TIMESTAMP)
string(TIMESTAMP VLN2_COPYRIGHT_YEAR "%Y" UTC)
