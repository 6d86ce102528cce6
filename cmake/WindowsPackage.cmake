# SPDX-License-Identifier: GPL-3.0-or-later
# The Windows command line as a package: its manifest and version resource, and what goes
# beside it (the README as text, the licence, the manual page as HTML). `cpack` makes
# pagewright-cli-VERSION-windows-x64.zip; the target windows-installer makes the NSIS
# installer pagewright-cli-VERSION-windows-x64-setup.exe from the same files (needs makensis).
set(PW_WINDOWS ${CMAKE_SOURCE_DIR}/packaging/windows)
set(PW_WINDOWS_OUT ${CMAKE_BINARY_DIR}/packaging/windows)
set(PW_WINDOWS_NAME pagewright-cli-${PROJECT_VERSION}-windows-x64)

# ---- The manifest (long paths, UTF-8, Windows 10 and 11) and the version, in the .exe -------
enable_language(RC)
set(PW_WINDOWS_MANIFEST ${PW_WINDOWS_OUT}/pagewright-cli.manifest)
configure_file(${PW_WINDOWS}/pagewright-cli.manifest.in ${PW_WINDOWS_MANIFEST} @ONLY)
configure_file(${PW_WINDOWS}/pagewright-cli.rc.in ${PW_WINDOWS_OUT}/pagewright-cli.rc @ONLY)
target_sources(pagewright-cli PRIVATE ${PW_WINDOWS_OUT}/pagewright-cli.rc)
set_property(SOURCE ${PW_WINDOWS_OUT}/pagewright-cli.rc APPEND PROPERTY OBJECT_DEPENDS
             ${PW_WINDOWS_MANIFEST})

# ---- The documents: text with Windows line ends, the manual page as HTML ---------------------
function(pw_windows_text source name)
  file(READ ${source} text)
  string(REPLACE "\r\n" "\n" text "${text}")
  string(REPLACE "\n" "\r\n" text "${text}")
  file(WRITE ${PW_WINDOWS_OUT}/${name} "${text}")
endfunction()
pw_windows_text(${CMAKE_SOURCE_DIR}/README.md README.txt)
pw_windows_text(${CMAKE_SOURCE_DIR}/LICENSE LICENSE.txt)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/README.md
                                                                ${CMAKE_SOURCE_DIR}/LICENSE)

configure_file(${CMAKE_SOURCE_DIR}/packaging/man/pagewright-cli.1.in
               ${PW_WINDOWS_OUT}/pagewright-cli.1 @ONLY)
find_program(PW_GROFF groff)
set(PW_WINDOWS_DOCS ${PW_WINDOWS_OUT}/README.txt ${PW_WINDOWS_OUT}/LICENSE.txt)
if(PW_GROFF)
  add_custom_command(OUTPUT ${PW_WINDOWS_OUT}/pagewright-cli.html
                     COMMAND ${PW_GROFF} -man -Thtml -P-l -P-r pagewright-cli.1 > pagewright-cli.html
                     DEPENDS ${PW_WINDOWS_OUT}/pagewright-cli.1
                     WORKING_DIRECTORY ${PW_WINDOWS_OUT} VERBATIM)
  add_custom_target(windows-manual ALL DEPENDS ${PW_WINDOWS_OUT}/pagewright-cli.html)
  list(APPEND PW_WINDOWS_DOCS ${PW_WINDOWS_OUT}/pagewright-cli.html)
else()
  message(STATUS "groff not found: the Windows package goes without the manual page")
endif()
install(FILES ${PW_WINDOWS_DOCS} DESTINATION .)

# ---- The zip (cpack) and the installer (makensis) ---------------------------------------------
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME pagewright-cli)
set(CPACK_PACKAGE_VENDOR "Pagewright developers")
set(CPACK_PACKAGE_FILE_NAME ${PW_WINDOWS_NAME})
set(CPACK_STRIP_FILES ON)
include(CPack)

find_program(PW_MAKENSIS makensis)
if(PW_MAKENSIS)
  set(PW_WINDOWS_STAGE ${CMAKE_BINARY_DIR}/windows-stage)
  add_custom_target(windows-installer
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${PW_WINDOWS_STAGE}
    COMMAND ${CMAKE_COMMAND} --install ${CMAKE_BINARY_DIR} --prefix ${PW_WINDOWS_STAGE} --strip
    COMMAND ${PW_MAKENSIS} -V2 -DVERSION=${PROJECT_VERSION} -DSTAGE=${PW_WINDOWS_STAGE}
            -DOUTFILE=${CMAKE_BINARY_DIR}/${PW_WINDOWS_NAME}-setup.exe
            ${PW_WINDOWS}/pagewright-cli.nsi
    DEPENDS pagewright-cli
    BYPRODUCTS ${CMAKE_BINARY_DIR}/${PW_WINDOWS_NAME}-setup.exe
    VERBATIM)
  if(TARGET windows-manual)
    add_dependencies(windows-installer windows-manual)
  endif()
endif()
