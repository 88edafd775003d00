# Signs a Windows executable in place with Authenticode (SHA-256), through
# Debian's osslsigncode. The build runs it after linking each signed program
# (cmake/Authenticode.cmake); the Windows suite runs it the same way.
#
#   cmake -DOSSLSIGNCODE=osslsigncode -DCERT=cert.pem -DKEY=key.pem
#         [-DTIMESTAMP_URL=http://...] -DFILE=program.exe -P AuthenticodeSign.cmake
#
# CERT holds the code-signing certificate, followed by any intermediate
# certificates up to the authority; KEY its private key, unencrypted (PEM).
foreach(var OSSLSIGNCODE CERT KEY FILE)
    if("${${var}}" STREQUAL "")
        message(FATAL_ERROR "AuthenticodeSign.cmake: ${var} is not set")
    endif()
endforeach()

set(timestamp)
if(NOT "${TIMESTAMP_URL}" STREQUAL "")
    # An RFC 3161 time stamp keeps the signature valid after the certificate expires.
    set(timestamp -ts "${TIMESTAMP_URL}")
endif()

set(signed "${FILE}.signed")
file(REMOVE "${signed}")
execute_process(
    COMMAND "${OSSLSIGNCODE}" sign -certs "${CERT}" -key "${KEY}" -h sha256 ${timestamp}
            -in "${FILE}" -out "${signed}"
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0)
    # The unsigned program goes as well: a failed build leaves nothing behind
    # that could be shipped by mistake (the next build links it again).
    file(REMOVE "${signed}" "${FILE}")
    message(FATAL_ERROR "Signing ${FILE} failed (${result}), so it was removed:\n${output}")
endif()
file(RENAME "${signed}" "${FILE}")
