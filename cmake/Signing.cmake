# vln2_signed_copy(TARGET OUTPUT): the build step that copies TARGET's program to OUTPUT and
# signs the copy with scripts/sign, whose environment names the key (VLN2_SIGN builds only).
function(vln2_signed_copy target output)
  add_custom_command(
    OUTPUT "${output}"
    COMMAND "${CMAKE_COMMAND}" -E copy $<TARGET_FILE:${target}> "${output}"
    COMMAND "${CMAKE_SOURCE_DIR}/scripts/sign" "${output}"
    DEPENDS ${target}
    COMMENT "Signing ${target}"
    VERBATIM)
endfunction()
