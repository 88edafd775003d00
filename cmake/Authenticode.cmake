# Authenticode signatures for the Windows programs a publisher ships: given
# a code-signing certificate and its key as PEM files, each program named in
# orvalin_authenticode_sign() is signed right after it is linked. Without
# them nothing is signed and the build is as before.
set(ORVALIN_AUTHENTICODE_CERT "" CACHE FILEPATH
    "Code-signing certificate (PEM, then any intermediate certificates) for the Windows programs")
set(ORVALIN_AUTHENTICODE_KEY "" CACHE FILEPATH "Private key (PEM, unencrypted) of ORVALIN_AUTHENTICODE_CERT")
set(ORVALIN_AUTHENTICODE_TIMESTAMP_URL "" CACHE STRING
    "RFC 3161 time-stamp server for the signatures (optional; the publisher's choice)")

if(ORVALIN_AUTHENTICODE_CERT OR ORVALIN_AUTHENTICODE_KEY)
    foreach(file ORVALIN_AUTHENTICODE_CERT ORVALIN_AUTHENTICODE_KEY)
        if(NOT EXISTS "${${file}}")
            message(FATAL_ERROR "${file} (\"${${file}}\") is no file: Authenticode signing needs both the certificate and its key")
        endif()
    endforeach()
    find_program(ORVALIN_OSSLSIGNCODE osslsigncode REQUIRED)
endif()
set(ORVALIN_AUTHENTICODE_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/AuthenticodeSign.cmake)

function(orvalin_authenticode_sign target)
    if(NOT ORVALIN_AUTHENTICODE_CERT)
        return()
    endif()
    add_custom_command(TARGET ${target} POST_BUILD
        COMMAND ${CMAKE_COMMAND} -DOSSLSIGNCODE=${ORVALIN_OSSLSIGNCODE}
                -DCERT=${ORVALIN_AUTHENTICODE_CERT} -DKEY=${ORVALIN_AUTHENTICODE_KEY}
                -DTIMESTAMP_URL=${ORVALIN_AUTHENTICODE_TIMESTAMP_URL} -DFILE=$<TARGET_FILE:${target}>
                -P ${ORVALIN_AUTHENTICODE_SCRIPT}
        COMMENT "Signing $<TARGET_FILE_NAME:${target}> (Authenticode)"
        VERBATIM)
    # A new certificate or key signs the program again.
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${ORVALIN_AUTHENTICODE_CERT} ${ORVALIN_AUTHENTICODE_KEY})
endfunction()
