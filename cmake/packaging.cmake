# What `cmake --install` puts where, and the packages CPack makes of it: a .deb and a
# .tar.gz from the Linux build, a .zip from the Windows build.
include(GNUInstallDirs)

# Installs the text file SOURCE of the repository as TARGET with Windows line ends.
function(quillpack_install_windows_text source target)
  file(READ ${CMAKE_SOURCE_DIR}/${source} text)
  string(REPLACE "\n" "\r\n" text "${text}")
  file(WRITE ${CMAKE_BINARY_DIR}/${target} "${text}")
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${source})
  install(FILES ${CMAKE_BINARY_DIR}/${target} DESTINATION ${QUILLPACK_INSTALL_DOC_DIR})
endfunction()

if(WIN32)
  # One folder to unpack: the program, the README and the licence as Windows text files, the
  # examples.
  set(QUILLPACK_INSTALL_PROGRAM_DIR .)
  set(QUILLPACK_INSTALL_DOC_DIR .)
  quillpack_install_windows_text(README.md README.txt)
  quillpack_install_windows_text(LICENSE LICENSE.txt)
else()
  set(QUILLPACK_INSTALL_PROGRAM_DIR ${CMAKE_INSTALL_BINDIR})
  set(QUILLPACK_INSTALL_DOC_DIR ${CMAKE_INSTALL_DOCDIR})
  install(FILES doc/quillpack.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES README.md DESTINATION ${QUILLPACK_INSTALL_DOC_DIR})
  # Where Debian keeps a package's licence.
  install(FILES LICENSE DESTINATION ${QUILLPACK_INSTALL_DOC_DIR} RENAME copyright)
  # Where bash-completion looks for a command's completion the first time it completes it.
  install(FILES completion/quillpack.bash
          DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME quillpack)
endif()
if(TARGET quillpack)
  install(TARGETS quillpack RUNTIME DESTINATION ${QUILLPACK_INSTALL_PROGRAM_DIR})
endif()
install(DIRECTORY examples DESTINATION ${QUILLPACK_INSTALL_DOC_DIR})

set(CPACK_PACKAGE_NAME quillpack)
set(CPACK_PACKAGE_VENDOR "Quillpack")
set(CPACK_PACKAGE_CONTACT "Quillpack developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "packs the text files of a directory into one text file, and unpacks it again")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_STRIP_FILES ON)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
else()
  set(CPACK_GENERATOR DEB TGZ)
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
# The C and C++ runtime versions the program was linked against (dpkg-shlibdeps).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)
