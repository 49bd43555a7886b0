# Puts ICU's data into a section of the command line's program file that is not loaded, at a file
# offset that is a multiple of 16 (ICU reads its tables in place, and some of them must be
# aligned), where EmbeddedIcuData maps them from.
#
#   cmake -DOBJCOPY=… -DREADELF=… -DPROGRAM=… -DDATA=… -P EmbedIcuData.cmake

set(section .quillet.icudata)

function(sectionOffset file result)
    execute_process(COMMAND ${READELF} -SW ${file} OUTPUT_VARIABLE sections RESULT_VARIABLE failed)
    string(REGEX MATCH "\\${section}[ ]+PROGBITS[ ]+[0-9a-f]+[ ]+([0-9a-f]+)" found "${sections}")
    if(failed OR NOT found)
        message(FATAL_ERROR "no ${section} section in ${file}")
    endif()
    math(EXPR offset "0x${CMAKE_MATCH_1}")
    set(${result} ${offset} PARENT_SCOPE)
endfunction()

function(objcopy input output)
    execute_process(COMMAND ${OBJCOPY} ${ARGN} ${input} ${output} RESULT_VARIABLE failed)
    if(failed)
        message(FATAL_ERROR "${OBJCOPY} could not add a section to ${input}")
    endif()
endfunction()

# Added once to learn where it lands; when that is not a multiple of 16, added again behind a
# section of as many bytes as make up the difference (a section added later goes after it).
set(data --add-section ${section}=${DATA} --set-section-flags ${section}=noload,readonly)
objcopy(${PROGRAM} ${PROGRAM}.probe --remove-section ${section} --remove-section .quillet.padding ${data})
sectionOffset(${PROGRAM}.probe offset)
math(EXPR padding "(16 - ${offset} % 16) % 16")
if(padding GREATER 0)
    string(REPEAT "-" ${padding} bytes)
    file(WRITE ${PROGRAM}.padding "${bytes}")
    objcopy(${PROGRAM} ${PROGRAM}.padded --remove-section ${section} --remove-section .quillet.padding
        --add-section .quillet.padding=${PROGRAM}.padding --set-section-flags .quillet.padding=noload,readonly)
    objcopy(${PROGRAM}.padded ${PROGRAM}.probe ${data})
    file(REMOVE ${PROGRAM}.padding ${PROGRAM}.padded)
    sectionOffset(${PROGRAM}.probe offset)
endif()
math(EXPR misalignment "${offset} % 16")
if(NOT misalignment EQUAL 0)
    message(FATAL_ERROR "${section} lands at offset ${offset} of ${PROGRAM}, not a multiple of 16")
endif()
file(RENAME ${PROGRAM}.probe ${PROGRAM})
