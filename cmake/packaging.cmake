# What `cmake --install` puts where, and the packages CPack makes of it: a .deb and a
# .tar.gz from the Linux build, a .zip from the Windows build.
include(GNUInstallDirs)

# A package names someone to write to; set QUILLPACK_CONTACT to the address that reads it.
set(QUILLPACK_CONTACT "Quillpack developers <developers@quillpack.invalid>"
    CACHE STRING "The maintainer a package names, as \"Name <address>\"")
set(CPACK_PACKAGE_CONTACT "${QUILLPACK_CONTACT}")

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
  # The manual page ships compressed as Debian wants it: at the highest level, without a
  # name or time in the header, so that two builds give the same bytes.
  find_program(GZIP_PROGRAM gzip REQUIRED)
  set(man_page ${CMAKE_BINARY_DIR}/man/quillpack.1)
  add_custom_command(
    OUTPUT ${man_page}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
    COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/doc/quillpack.1 ${man_page}
    COMMAND ${GZIP_PROGRAM} -9nf ${man_page}
    DEPENDS ${CMAKE_SOURCE_DIR}/doc/quillpack.1
    COMMENT "Compressing the manual page"
    VERBATIM)
  add_custom_target(compressed_man_page ALL DEPENDS ${man_page}.gz)
  install(FILES ${man_page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES README.md DESTINATION ${QUILLPACK_INSTALL_DOC_DIR})
  # A package without a revision is Debian-native, and such a package carries its
  # changelog as changelog.gz.
  configure_file(doc/changelog.in ${CMAKE_BINARY_DIR}/doc/changelog @ONLY)
  add_custom_command(
    OUTPUT ${CMAKE_BINARY_DIR}/doc/changelog.gz
    COMMAND ${GZIP_PROGRAM} -9nkf ${CMAKE_BINARY_DIR}/doc/changelog
    DEPENDS ${CMAKE_BINARY_DIR}/doc/changelog
    COMMENT "Compressing the changelog"
    VERBATIM)
  add_custom_target(compressed_changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/doc/changelog.gz)
  install(FILES ${CMAKE_BINARY_DIR}/doc/changelog.gz DESTINATION ${QUILLPACK_INSTALL_DOC_DIR})
  # Where Debian keeps a package's licence.
  install(FILES LICENSE DESTINATION ${QUILLPACK_INSTALL_DOC_DIR} RENAME copyright)
  # Where bash-completion looks for a command's completion the first time it completes it.
  install(FILES completion/quillpack.bash
          DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME quillpack)
  # Where zsh and fish look for the completions that packages bring.
  install(FILES completion/quillpack.zsh DESTINATION ${CMAKE_INSTALL_DATADIR}/zsh/vendor-completions
          RENAME _quillpack)
  install(FILES completion/quillpack.fish
          DESTINATION ${CMAKE_INSTALL_DATADIR}/fish/vendor_completions.d)
endif()
if(TARGET quillpack)
  install(TARGETS quillpack RUNTIME DESTINATION ${QUILLPACK_INSTALL_PROGRAM_DIR})
endif()
install(DIRECTORY examples DESTINATION ${QUILLPACK_INSTALL_DOC_DIR})

set(CPACK_PACKAGE_NAME quillpack)
set(CPACK_PACKAGE_VENDOR "Quillpack")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "packs the text files of a directory into one text file, and unpacks it again")
# Lines of at most 80 bytes, as a package's description wants them.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
       "Quillpack merges the text files of a directory, or of a whole tree, into one"
       "text file, each behind a header line with its name, and extracts such a file"
       "into separate files again, asking before it overwrites anything. It suits"
       "scripts: it reads and writes the standard streams, takes the answers to its"
       "questions on the command line, lists what an extract would write, and never"
       "waits for a key without a terminal.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_STRIP_FILES ON)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
else()
  set(CPACK_GENERATOR DEB TGZ)
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
# The bash completion loads only through bash-completion; the tool works without it.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS bash-completion)
# The C and C++ runtime versions the program was linked against (dpkg-shlibdeps).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)
