# Authenticode signing of the DLLs in the release archive, when asked:
#   -DKT_SIGNING_CERT=<file>  the code-signing certificate: PEM (with
#                             KT_SIGNING_KEY) or PKCS#12 (.p12/.pfx, holding
#                             the key too; KT_SIGNING_KEY then stays empty)
#   -DKT_SIGNING_KEY=<file>   its PEM private key
#   -DKT_SIGNING_PASSWORD_FILE=<file>  the key's or PKCS#12 file's password,
#                             if it has one (a file, so no password sits in
#                             the cache or on a command line)
#   -DKT_SIGNING_TIMESTAMP_URL=<url>   an RFC 3161 time-stamping service
# The package target then signs the staged copies with osslsigncode before it
# sums them; the DLLs in the build folder stay unsigned. Sets
# KT_SIGNING_SETTINGS: the package step's signing command, or nothing.
set(KT_SIGNING_CERT "" CACHE FILEPATH "Code-signing certificate (PEM or PKCS#12) for the release archive's DLLs; empty: unsigned")
set(KT_SIGNING_KEY "" CACHE FILEPATH "PEM private key of KT_SIGNING_CERT (empty for PKCS#12)")
set(KT_SIGNING_PASSWORD_FILE "" CACHE FILEPATH "File holding the password of the key or PKCS#12 file (empty: none)")
set(KT_SIGNING_TIMESTAMP_URL "" CACHE STRING "RFC 3161 time-stamping URL for the signatures (empty: none)")

set(KT_SIGNING_SETTINGS "")
if(NOT KT_SIGNING_CERT)
  foreach(unused KT_SIGNING_KEY KT_SIGNING_PASSWORD_FILE KT_SIGNING_TIMESTAMP_URL)
    if(${unused})
      message(FATAL_ERROR "${unused} is set but KT_SIGNING_CERT is not: nothing would be signed")
    endif()
  endforeach()
  return()
endif()

foreach(file_variable KT_SIGNING_CERT KT_SIGNING_KEY KT_SIGNING_PASSWORD_FILE)
  if(${file_variable} AND NOT EXISTS ${${file_variable}})
    message(FATAL_ERROR "${file_variable}: no file ${${file_variable}}")
  endif()
endforeach()
find_program(KT_OSSLSIGNCODE osslsigncode)
if(NOT KT_OSSLSIGNCODE)
  message(FATAL_ERROR "KT_SIGNING_CERT needs osslsigncode (Debian: apt-get install osslsigncode)")
endif()

set(kt_sign ${KT_OSSLSIGNCODE} sign -h sha256)
if(KT_SIGNING_KEY)
  list(APPEND kt_sign -certs ${KT_SIGNING_CERT} -key ${KT_SIGNING_KEY})
else()
  list(APPEND kt_sign -pkcs12 ${KT_SIGNING_CERT})
endif()
if(KT_SIGNING_PASSWORD_FILE)
  list(APPEND kt_sign -readpass ${KT_SIGNING_PASSWORD_FILE})
endif()
if(KT_SIGNING_TIMESTAMP_URL)
  list(APPEND kt_sign -ts ${KT_SIGNING_TIMESTAMP_URL})
endif()
list(JOIN kt_sign "]==] [==[" kt_sign)
set(KT_SIGNING_SETTINGS "set(kt_sign_command [==[${kt_sign}]==])")
message(STATUS "The release archive's DLLs are signed with ${KT_SIGNING_CERT}")
