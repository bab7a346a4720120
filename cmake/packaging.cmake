# Install rules and packages, all named by the project's one version: a Debian package
# and an RPM on Linux, a zip from the windows preset.

set(package_name verilog-hex-tools)
set(CPACK_PACKAGE_NAME ${package_name})
set(CPACK_PACKAGE_VENDOR "the tolvane and marisk authors")
set(CPACK_PACKAGE_CONTACT "the tolvane and marisk authors <tools@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "convert byte lists to VerilogHex images and split images into banks")
set(package_description
  "tolvane turns a byte list (one hexadecimal byte value a line) into a VerilogHex
image of 8-, 16- or 32-bit words, big- or little-endian, the @address TAB data
text that Verilog's $readmemh loads. marisk spreads an image of wide words over
several narrower memory banks, one VerilogHex file a bank. Both stream their
input in constant memory, and a failed or interrupted run leaves every file as
it was.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)

if(WIN32)
  # The programs, the README, the licence and both manual pages as plain text with
  # CR LF line ends, at the top of the zip.
  install(TARGETS tolvane marisk RUNTIME DESTINATION .)
  foreach(page tolvane marisk)
    set(text ${PROJECT_BINARY_DIR}/${page}.txt)
    add_custom_command(OUTPUT ${text}
      COMMAND sh -c "groff -man -Tascii -P-cbou \"$0\" | sed 's/$/\\r/' >\"$1\""
        ${PROJECT_SOURCE_DIR}/man/${page}.1 ${text}
      DEPENDS ${PROJECT_SOURCE_DIR}/man/${page}.1
      COMMENT "Rendering the manual page of ${page} as text" VERBATIM)
    list(APPEND manual_texts ${text})
  endforeach()
  add_custom_target(manual_texts ALL DEPENDS ${manual_texts})
  install(FILES README.md LICENSE ${manual_texts} DESTINATION .)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME win64)
else()
  include(GNUInstallDirs)
  install(TARGETS tolvane marisk RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  foreach(page tolvane marisk)
    set(compressed ${PROJECT_BINARY_DIR}/${page}.1.gz)
    add_custom_command(OUTPUT ${compressed}
      COMMAND sh -c "gzip -9 -n -c \"$0\" >\"$1\"" ${PROJECT_SOURCE_DIR}/man/${page}.1 ${compressed}
      DEPENDS ${PROJECT_SOURCE_DIR}/man/${page}.1 VERBATIM)
    list(APPEND manual_pages ${compressed})
  endforeach()
  configure_file(packaging/changelog.in ${PROJECT_BINARY_DIR}/changelog @ONLY)
  add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/changelog.gz
    COMMAND sh -c "gzip -9 -n -c \"$0\" >\"$1\"" ${PROJECT_BINARY_DIR}/changelog
      ${PROJECT_BINARY_DIR}/changelog.gz
    DEPENDS ${PROJECT_BINARY_DIR}/changelog VERBATIM)
  add_custom_target(package_documents ALL
    DEPENDS ${manual_pages} ${PROJECT_BINARY_DIR}/changelog.gz)
  install(FILES ${manual_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES packaging/copyright ${PROJECT_BINARY_DIR}/changelog.gz
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package_name})

  set(CPACK_GENERATOR DEB RPM)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "${package_description}")
  set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_RPM_FILE_NAME RPM-DEFAULT)
  set(CPACK_RPM_PACKAGE_DESCRIPTION "${package_description}")
  set(CPACK_RPM_PACKAGE_LICENSE MIT)
  set(CPACK_RPM_PACKAGE_GROUP "Development/Tools")
  # The manual folders belong to the system; the package owns its files and its doc folder.
  set(CPACK_RPM_EXCLUDE_FROM_AUTO_FILELIST_ADDITION /usr/share/man /usr/share/man/man1)
  set(CPACK_RPM_SPEC_MORE_DEFINE "%define _build_id_links none")
endif()
include(CPack)
