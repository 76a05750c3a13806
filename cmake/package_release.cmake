# Build-time steps of the release packages (cmake -P, called by packaging/CMakeLists.txt).
# Every step writes the same bytes for the same inputs, whatever the clock, the time
# zone, the umask or the build folder: the package time TIME stands in for "now".
#
#   STEP=stage  PROGRAM README STAGE TIME [CERT KEY TIMESTAMP_URL] OSSLSIGNCODE
#       STAGE/MOLRAvin.exe (signed when CERT is given) and STAGE/LIESMICH.txt,
#       mode 644 and modified at TIME
#   STEP=zip    STAGE OUTPUT ZIP
#   STEP=msi    STAGE OUTPUT WXS INI_IDT WIXL MSIBUILD MSIINFO ICONV VERSION PROGRAM_VERSION
#               UPGRADE_BELOW ARCH TIME [CERT KEY TIMESTAMP_URL] OSSLSIGNCODE
#               (VERSION: the three-field ProductVersion; PROGRAM_VERSION: the program's own)

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
  set(inputs "${VERSION};${PROGRAM_VERSION};${ARCH}")
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
                          -D ProgramVersion=${PROGRAM_VERSION} -D UpgradeBelow=${UPGRADE_BELOW}
                          -D ProductCode=${product_code}
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
  # wixl declares no code page, writes the summary's texts in UTF-8 and its template in
  # English (x64;1033). Windows reads both the summary and the tables in the declared code
  # page: 1252 for the package's German ("Ö"), and the template in the package's language.
  execute_process(COMMAND ${MSIINFO} suminfo ${unsigned} OUTPUT_VARIABLE suminfo RESULT_VARIABLE status)
  if(NOT status EQUAL 0 OR NOT suminfo MATCHES "\nTemplate: ([^;\n]+);")
    message(FATAL_ERROR "msiinfo finds no template in ${unsigned}")
  endif()
  set(platform ${CMAKE_MATCH_1})
  execute_process(COMMAND ${MSIINFO} export ${unsigned} Property OUTPUT_VARIABLE properties
                  RESULT_VARIABLE status)
  if(NOT status EQUAL 0 OR NOT properties MATCHES "\nProductLanguage\t([0-9]+)")
    message(FATAL_ERROR "msiinfo finds no ProductLanguage in ${unsigned}")
  endif()
  set(template "${platform};${CMAKE_MATCH_1}")
  # 1: code page; 7: template; 9: package code; 12, 13: created and last saved.
  string(CONCAT summary_text "PropertyId\tValue\ni2\tl255\n_SummaryInformation\tPropertyId\n"
                              "1\t1252\n7\t${template}\n9\t{${package_code}}\n12\t${time}\n13\t${time}\n")
  # 2 to 6: title, subject, author, keywords, comments, again in code page 1252.
  foreach(field 2:Title 3:Subject 4:Author 5:Keywords 6:Comments)
    string(REPLACE ":" ";" field ${field})
    list(GET field 1 name)
    if("\n${suminfo}" MATCHES "\n${name}: ([^\r\n]*)")
      list(GET field 0 id)
      string(APPEND summary_text "${id}\t${CMAKE_MATCH_1}\n")
    endif()
  endforeach()
  set(summary ${OUTPUT}.summary.idt)
  set(codepage ${OUTPUT}.codepage.idt)
  file(WRITE ${summary}.utf8 "${summary_text}")
  file(WRITE ${codepage} "\n\n1252\t_ForceCodepage\n")
  execute_process(COMMAND ${ICONV} -f UTF-8 -t CP1252 -o ${summary} ${summary}.utf8 RESULT_VARIABLE status)
  file(REMOVE ${summary}.utf8)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "the summary texts do not fit code page 1252 (iconv: ${status})")
  endif()
  # What wixl cannot write. The preset address (SERVER=...) goes into MOLRAvin.url in
  # the working folder by WriteIniValues; its component installs only with SERVER.
  # The component is permanent: the file is the site's setting, which neither an
  # uninstall nor the removal of this version by an upgrade may take away, and
  # RemoveIniValues leaves the lines of a permanent component alone. WriteIniValues runs
  # only with an address: a component stays installed on a repair whatever its condition
  # says, and without one (its remembered value deleted by hand) it would write "http://".
  # msidbComponentAttributesPermanent, and msidbComponentAttributes64bit in the x64 package
  if(ARCH STREQUAL "x64")
    set(preset_attributes 272)
  else()
    set(preset_attributes 16)
  endif()
  # The remembered SERVER (MOLRAvin.wxs) is kept only with SERVER, and AppSearch's copy of it
  # must reach the per-machine side, which does not search again after the UI sequence did.
  execute_process(COMMAND ${CMAKE_COMMAND} -E env TZ=UTC ${MSIBUILD} ${unsigned}
          -i ${codepage}
          -i ${INI_IDT}
          -q "UPDATE Component SET Condition = 'SERVER', Attributes = ${preset_attributes} WHERE Component = 'ServerPreset'"
          -q "UPDATE Component SET Condition = 'SERVER' WHERE Component = 'ServerMemory'"
          -q "INSERT INTO InstallExecuteSequence (Action, Sequence) VALUES ('RemoveIniValues', 3800)"
          -q "INSERT INTO InstallExecuteSequence (Action, Condition, Sequence) VALUES ('WriteIniValues', 'SERVER', 5100)"
          -q "UPDATE Property SET Value = 'SERVER;REMEMBERED_SERVER;WIX_DOWNGRADE_DETECTED;WIX_UPGRADE_DETECTED' WHERE Property = 'SecureCustomProperties'"
          -i ${summary}
          RESULT_VARIABLE status)
  file(REMOVE ${summary} ${codepage})
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
