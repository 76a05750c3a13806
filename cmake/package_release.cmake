# Build-time steps of the release packages (cmake -P, called by packaging/CMakeLists.txt).
# Every step writes the same bytes for the same inputs, whatever the clock, the time
# zone, the umask or the build folder: the package time TIME stands in for "now".
#
#   STEP=stage  PROGRAM README STAGE TIME [CERT KEY TIMESTAMP_URL] OSSLSIGNCODE
#       STAGE/MOLRAvin.exe (signed when CERT is given) and STAGE/LIESMICH.txt,
#       mode 644 and modified at TIME
#   STEP=zip    STAGE OUTPUT ZIP
#   STEP=msi    STAGE OUTPUT WXS INI_IDT WIXL MSIBUILD VERSION UPGRADE_BELOW ARCH TIME
#               [CERT KEY TIMESTAMP_URL] OSSLSIGNCODE

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    list(JOIN ARGN " " command)
    message(FATAL_ERROR "failed (${status}): ${command}")
  endif()
endfunction()

# sign(<in> <out>): SHA-256 Authenticode with the signing time fixed to TIME, so that a
# signed build is as reproducible as an unsigned one; a timestamp server only on request.
function(sign in out)
  set(timestamp "")
  if(TIMESTAMP_URL)
    set(timestamp -ts ${TIMESTAMP_URL})
  endif()
  file(REMOVE ${out})
  run(${OSSLSIGNCODE} sign -certs ${CERT} -key ${KEY} -h sha256 -n MOLRAvin -time ${TIME}
      ${timestamp} -in ${in} -out ${out})
endfunction()

if(STEP STREQUAL "stage")
  file(REMOVE_RECURSE ${STAGE})
  file(MAKE_DIRECTORY ${STAGE})
  if(CERT)
    sign(${PROGRAM} ${STAGE}/MOLRAvin.exe)
  else()
    file(COPY_FILE ${PROGRAM} ${STAGE}/MOLRAvin.exe)
  endif()
  file(COPY_FILE ${README} ${STAGE}/LIESMICH.txt)
  foreach(name MOLRAvin.exe LIESMICH.txt)
    file(CHMOD ${STAGE}/${name} PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
    run(touch -d @${TIME} ${STAGE}/${name})
  endforeach()

elseif(STEP STREQUAL "zip")
  file(REMOVE ${OUTPUT})
  # zip writes DOS times in local time; -X leaves out the Unix times, owners and
  # extended attributes.
  execute_process(COMMAND ${CMAKE_COMMAND} -E env TZ=UTC
                          ${ZIP} -X -D -q ${OUTPUT} MOLRAvin.exe LIESMICH.txt
                  WORKING_DIRECTORY ${STAGE} RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "zip failed (${status})")
  endif()

elseif(STEP STREQUAL "msi")
  # The codes are name-based, so that the same content gives the same package and any
  # change gives new codes (each build is a major upgrade of the one before).
  set(inputs "${VERSION};${ARCH}")
  foreach(file ${STAGE}/MOLRAvin.exe ${WXS} ${INI_IDT} ${CMAKE_CURRENT_LIST_FILE})
    file(SHA256 ${file} hash)
    string(APPEND inputs ";${hash}")
  endforeach()
  set(namespace 6A1F0C2E-5B7D-4E0A-9C3B-2D8E4F1A7B60)
  string(UUID product_code NAMESPACE ${namespace} NAME "product;${inputs}" TYPE SHA1 UPPER)
  string(UUID package_code NAMESPACE ${namespace} NAME "package;${inputs}" TYPE SHA1 UPPER)

  set(unsigned ${OUTPUT}.unsigned)
  file(REMOVE ${OUTPUT} ${unsigned})
  # wixl 0.101 only warns about an attribute it does not know, then leaves it out:
  # make that an error. It reads source files relative to its working folder only, and
  # the cabinet takes their times in local time.
  execute_process(COMMAND ${CMAKE_COMMAND} -E env G_DEBUG=fatal-warnings TZ=UTC
                          ${WIXL} -a ${ARCH} -D Arch=${ARCH} -D Version=${VERSION}
                          -D UpgradeBelow=${UPGRADE_BELOW} -D ProductCode=${product_code}
                          -D ProgramFile=MOLRAvin.exe -o ${unsigned} ${WXS}
                  WORKING_DIRECTORY ${STAGE} RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "wixl failed (${status})")
  endif()

  execute_process(COMMAND date -u -d @${TIME} "+%Y/%m/%d %H:%M:%S"
                  OUTPUT_VARIABLE time OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "date failed (${status})")
  endif()
  # What wixl cannot write. The preset address (SERVER=...) goes into MOLRAvin.url in
  # the working folder by WriteIniValues; its component installs only with SERVER.
  # The component is permanent: the file is the site's setting, which neither an
  # uninstall nor the removal of this version by an upgrade may take away, and
  # RemoveIniValues leaves the lines of a permanent component alone.
  # msidbComponentAttributesPermanent, and msidbComponentAttributes64bit in the x64 package
  if(ARCH STREQUAL "x64")
    set(preset_attributes 272)
  else()
    set(preset_attributes 16)
  endif()
  set(summary ${OUTPUT}.summary.idt)
  # 9: package code; 12, 13: created and last saved.
  file(WRITE ${summary} "PropertyId\tValue\ni2\tl255\n_SummaryInformation\tPropertyId\n"
                        "9\t{${package_code}}\n12\t${time}\n13\t${time}\n")
  execute_process(COMMAND ${CMAKE_COMMAND} -E env TZ=UTC ${MSIBUILD} ${unsigned}
          -i ${INI_IDT}
          -q "UPDATE Component SET Condition = 'SERVER', Attributes = ${preset_attributes} WHERE Component = 'ServerPreset'"
          -q "INSERT INTO InstallExecuteSequence (Action, Sequence) VALUES ('RemoveIniValues', 3800)"
          -q "INSERT INTO InstallExecuteSequence (Action, Sequence) VALUES ('WriteIniValues', 5100)"
          -q "UPDATE Property SET Value = 'SERVER;WIX_DOWNGRADE_DETECTED;WIX_UPGRADE_DETECTED' WHERE Property = 'SecureCustomProperties'"
          -i ${summary}
          RESULT_VARIABLE status)
  file(REMOVE ${summary})
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "msibuild failed (${status})")
  endif()
  if(CERT)
    sign(${unsigned} ${OUTPUT})
    file(REMOVE ${unsigned})
  else()
    file(RENAME ${unsigned} ${OUTPUT})
  endif()

else()
  message(FATAL_ERROR "package_release.cmake: unknown STEP '${STEP}'")
endif()
