# The release archive rebuilt by someone else: the same source and options
# configured in a second, empty folder, under another time zone, umask and
# zip options, must give the very bytes of the Windows build's DLLs and
# archive, with the PE time stamps and entry times of the build's time. Then
# the second build signs with the throwaway certificates of
# tests/support/signing (PEM, PKCS#12), and each signed archive is checked
# as a user would check it: osslsigncode verify against the test CA (and not
# against another), a changed byte failing verification, the signature
# removed giving back the unsigned DLL, system imports only, both DLLs
# loaded and called under Wine. A signing that cannot reach its
# time-stamping service must fail the package target and leave no archive.
# The Windows build named must be configured without signing.
# cmake -DWINDOWS_BUILD=<dir> -DVERSION=<x.y.z> -DWORK=<scratch dir> -DOBJDUMP=<mingw objdump>
#       -DOSSLSIGNCODE=<osslsigncode> -DSIGNING=<tests/support/signing> -DWINE64=<wine64>
#       -DWINEPREFIX=<prefix> -DDLL_CALLER=<dll_caller.exe> -P release_rebuild_test.cmake
include(${CMAKE_CURRENT_LIST_DIR}/release_checks.cmake)
set(archive_name Kestrane-Falloway-${VERSION}-win64.zip)
set(dlls signal/Kestrane.dll account/Falloway.dll)

# Runs a command as another builder would: another time zone, umask and zip
# options, and the Windows build's SOURCE_DATE_EPOCH (or none).
function(run_elsewhere what out_log)
  execute_process(COMMAND ${CMAKE_COMMAND} -E env TZ=Pacific/Chatham ZIPOPT=-9 ${epoch_env}
                          sh -c "umask 027 && exec \"$@\"" sh ${ARGN}
                  RESULT_VARIABLE failed OUTPUT_VARIABLE log ERROR_VARIABLE log INPUT_FILE /dev/null)
  set(${out_log} "${log}" PARENT_SCOPE)
  set(${what}_failed "${failed}" PARENT_SCOPE)
endfunction()

function(package build)
  run_elsewhere(package log ${CMAKE_COMMAND} --build ${build} --target package -j2)
  require("NOT package_failed" "cmake --build ${build} --target package failed:\n${log}")
endfunction()

function(configure_second)
  run_elsewhere(configure log ${CMAKE_COMMAND} -S ${source} -B ${second} ${ARGN})
  require("NOT configure_failed" "configuring ${second} failed:\n${log}")
endfunction()

# Little-endian unsigned number of <bytes> bytes at <offset> of <file>.
function(read_number file offset bytes out)
  file(READ ${file} hex OFFSET ${offset} LIMIT ${bytes} HEX)
  string(REGEX MATCHALL ".." pairs "${hex}")
  list(REVERSE pairs)
  string(JOIN "" hex ${pairs})
  math(EXPR value "0x${hex}")
  set(${out} ${value} PARENT_SCOPE)
endfunction()

# The time stamps of <dll> (PE header, export directory) and the DOS time
# of the first entry of <archive> must be those of <epoch>.
function(require_times dll archive epoch)
  read_number(${dll} 60 4 header)
  math(EXPR header_stamp "${header} + 8")
  read_number(${dll} ${header_stamp} 4 stamp)
  execute_process(COMMAND ${OBJDUMP} -p ${dll} OUTPUT_VARIABLE text)
  string(REGEX MATCH "Time/Date stamp[ \t]+([0-9a-f]+)" found "${text}")
  math(EXPR export_stamp "0x${CMAKE_MATCH_1}")
  require("stamp EQUAL epoch AND export_stamp EQUAL epoch"
          "${dll}: PE time stamp ${stamp}, export directory ${export_stamp}, not ${epoch}")

  # A DOS time counts 2-second steps; zip rounds an odd second up.
  math(EXPR even "(${epoch} + 1) / 2 * 2")
  set(ENV{SOURCE_DATE_EPOCH} ${even})
  string(TIMESTAMP when "%Y;%m;%d;%H;%M;%S" UTC)
  unset(ENV{SOURCE_DATE_EPOCH})
  list(TRANSFORM when REPLACE "^0([0-9])" "\\1")
  list(GET when 0 year)
  list(GET when 1 month)
  list(GET when 2 day)
  list(GET when 3 hour)
  list(GET when 4 minute)
  list(GET when 5 second)
  math(EXPR expected "(((${year} - 1980) << 9 | ${month} << 5 | ${day}) << 16) | ${hour} << 11 | ${minute} << 5 | ${second} / 2")
  # The local header's time and date words, read as one number.
  read_number(${archive} 10 4 dos_time)
  require("dos_time EQUAL expected" "${archive}: first entry's DOS time ${dos_time}, not ${expected} (${when} UTC)")
endfunction()

# --- Two builds, two folders: the same bytes.
# First, as it may configure the build again (a commit since).
execute_process(COMMAND ${CMAKE_COMMAND} --build ${WINDOWS_BUILD} --target package
                RESULT_VARIABLE failed OUTPUT_VARIABLE log ERROR_VARIABLE log)
require("NOT failed" "cmake --build ${WINDOWS_BUILD} --target package failed:\n${log}")
cache_value(${WINDOWS_BUILD} KT_SIGNING_CERT signing_cert)
require("NOT signing_cert" "${WINDOWS_BUILD} signs its archive; the comparison needs an unsigned build")
cache_value(${WINDOWS_BUILD} KT_SOURCE_DATE_EPOCH epoch)
cache_value(${WINDOWS_BUILD} KT_SOURCE_DATE_EPOCH_FROM epoch_from)
# Each build below is given its time explicitly.
unset(ENV{SOURCE_DATE_EPOCH})
if(epoch_from STREQUAL "SOURCE_DATE_EPOCH")
  set(epoch_env SOURCE_DATE_EPOCH=${epoch})
else()
  set(epoch_env --unset=SOURCE_DATE_EPOCH)
endif()

set(options "")
foreach(name CMAKE_TOOLCHAIN_FILE CMAKE_BUILD_TYPE CMAKE_C_FLAGS CMAKE_CXX_FLAGS CMAKE_SHARED_LINKER_FLAGS
             SIGNAL_SERVER_SCHEME SIGNAL_SERVER_HOST ACCOUNT_SERVICE_SCHEME ACCOUNT_SERVICE_HOST)
  cache_value(${WINDOWS_BUILD} ${name} value)
  list(APPEND options "-D${name}=${value}")
endforeach()
cache_value(${WINDOWS_BUILD} CMAKE_HOME_DIRECTORY source)
cache_value(${WINDOWS_BUILD} CMAKE_GENERATOR generator)
# A longer path than the first build's, so no embedded folder goes unseen.
set(second ${WORK}/second-build-in-a-folder-of-another-length)
file(REMOVE_RECURSE ${WORK})
string(TIMESTAMP started "%s")
configure_second(-G ${generator} ${options} -DKT_BUILD_TESTS=OFF -DKT_BUILD_TOOLS=OFF)
package(${second})
string(TIMESTAMP finished "%s")
math(EXPR seconds "${finished} - ${started}")

set(compared 0)
foreach(file ${dlls} ${archive_name})
  file(SIZE ${second}/${file} size)
  math(EXPR compared "${compared} + ${size}")
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${WINDOWS_BUILD}/${file} ${second}/${file} RESULT_VARIABLE differ)
  require("NOT differ" "${file} of ${second} differs from the one of ${WINDOWS_BUILD}")
endforeach()
message(STATUS "Rebuilt in ${seconds} s; ${compared} bytes compared (both DLLs and the archive), all equal")

if(epoch_from STREQUAL "commit")
  execute_process(COMMAND git -C ${source} log -1 --format=%ct OUTPUT_VARIABLE commit_time OUTPUT_STRIP_TRAILING_WHITESPACE)
  require("commit_time EQUAL epoch" "the build's time ${epoch} is not the commit's ${commit_time}")
endif()
foreach(dll ${dlls})
  require_times(${second}/${dll} ${second}/${archive_name} ${epoch})
endforeach()

# --- SOURCE_DATE_EPOCH, once set, is the time of everything.
set(epoch 1234567890)
set(epoch_env SOURCE_DATE_EPOCH=${epoch})
configure_second()
package(${second})
foreach(dll ${dlls})
  require_times(${second}/${dll} ${second}/${archive_name} ${epoch})
endforeach()

# --- Signed: name, the signing options, whether the package target succeeds.
set(signings pem pkcs12 unreachable_time_stamps)
set(pem_options -DKT_SIGNING_CERT=${SIGNING}/signer.pem -DKT_SIGNING_KEY=${SIGNING}/signer.key
                -DKT_SIGNING_PASSWORD_FILE= -DKT_SIGNING_TIMESTAMP_URL=)
set(pem_signs TRUE)
set(pkcs12_options -DKT_SIGNING_CERT=${SIGNING}/signer.p12 -DKT_SIGNING_KEY=
                   -DKT_SIGNING_PASSWORD_FILE=${SIGNING}/signer.p12.password -DKT_SIGNING_TIMESTAMP_URL=)
set(pkcs12_signs TRUE)
# Nothing listens on the discard port of loopback.
set(unreachable_time_stamps_options ${pem_options} -DKT_SIGNING_TIMESTAMP_URL=http://127.0.0.1:9/)
set(unreachable_time_stamps_signs FALSE)

function(verify dll ca out)
  execute_process(COMMAND ${OSSLSIGNCODE} verify -CAfile ${ca} -in ${dll}
                  RESULT_VARIABLE failed OUTPUT_VARIABLE log ERROR_VARIABLE log)
  set(${out} "${failed}" PARENT_SCOPE)
  set(${out}_log "${log}" PARENT_SCOPE)
endfunction()

# <dll> with the byte at <offset> changed, as <out>.
function(changed_copy dll offset out)
  file(READ ${dll} byte OFFSET ${offset} LIMIT 1 HEX)
  set(replacement X)
  if(byte STREQUAL "58")
    set(replacement Y)
  endif()
  file(COPY_FILE ${dll} ${out})
  execute_process(COMMAND sh -c "printf ${replacement} | dd of=\"$0\" bs=1 seek=${offset} conv=notrunc status=none" ${out}
                  RESULT_VARIABLE failed)
  require("NOT failed" "could not change ${out}")
endfunction()

foreach(signing ${signings})
  set(unpacked ${WORK}/${signing})
  configure_second(${${signing}_options})
  run_elsewhere(package log ${CMAKE_COMMAND} --build ${second} --target package -j2)
  if(NOT ${signing}_signs)
    require("package_failed AND NOT EXISTS ${second}/${archive_name}"
            "${signing}: the package target succeeded or left an archive:\n${log}")
    continue()
  endif()
  require("NOT package_failed" "${signing}: the package target failed:\n${log}")
  unpack_checked(${second}/${archive_name} ${unpacked})
  foreach(dll ${dlls})
    get_filename_component(name ${dll} NAME)
    set(signed ${unpacked}/${name})
    verify(${signed} ${SIGNING}/ca.pem verified)
    require("NOT verified" "${signing}: ${name} does not verify against the test CA:\n${verified_log}")
    verify(${signed} ${SIGNING}/../tls/ca.pem other_ca)
    require("other_ca" "${signing}: ${name} verifies against a CA that did not sign it")

    file(SIZE ${second}/${dll} unsigned_size)
    math(EXPR last_section_byte "${unsigned_size} - 16")
    foreach(offset 1037 ${last_section_byte})
      changed_copy(${signed} ${offset} ${unpacked}/changed-${name})
      verify(${unpacked}/changed-${name} ${SIGNING}/ca.pem changed)
      require("changed" "${signing}: ${name} with byte ${offset} changed after signing still verifies")
    endforeach()

    execute_process(COMMAND ${OSSLSIGNCODE} remove-signature -in ${signed} -out ${unpacked}/unsigned-${name}
                    RESULT_VARIABLE failed OUTPUT_QUIET)
    execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${second}/${dll} ${unpacked}/unsigned-${name}
                    RESULT_VARIABLE differ)
    require("NOT failed AND NOT differ" "${signing}: ${name} without its signature is not the unsigned build")
    require_system_imports(${signed})
  endforeach()
  file(REMOVE ${unpacked}/changed-Kestrane.dll ${unpacked}/changed-Falloway.dll
       ${unpacked}/unsigned-Kestrane.dll ${unpacked}/unsigned-Falloway.dll)
  call_exports(${unpacked})
endforeach()
