# The install as a user gets it: installed into a fresh prefix with the licence (and on
# Linux the compressed man page and the bash, zsh and fish completions), the installed
# program merges the installed examples and extracts them again. The man page, where there
# is one, must render without a warning, and each completion script must complete.
set(install_check_wine)
if(CMAKE_CROSSCOMPILING)
  set(install_check_wine --wine ${WINE_PROGRAM})
endif()
add_test(NAME install
         COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/check_install.py
                 --cmake ${CMAKE_COMMAND} --build ${CMAKE_BINARY_DIR}
                 --program ${QUILLPACK_INSTALL_PROGRAM_DIR}/$<TARGET_FILE_NAME:quillpack>
                 --docs ${QUILLPACK_INSTALL_DOC_DIR} --source ${CMAKE_SOURCE_DIR}
                 ${install_check_wine})
set_tests_properties(install PROPERTIES TIMEOUT 300)
if(CMAKE_CROSSCOMPILING)
  set_tests_properties(install PROPERTIES FIXTURES_REQUIRED wine)
endif()

if(NOT WIN32)
  add_test(NAME completion
           COMMAND ${CMAKE_SOURCE_DIR}/tests/check_completion
                   ${CMAKE_SOURCE_DIR}/completion/quillpack.bash)
  # Skipped, with a line that says so, where the shell is not installed.
  foreach(shell zsh fish)
    add_test(NAME completion_${shell}
             COMMAND ${CMAKE_SOURCE_DIR}/tests/check_${shell}_completion
                     ${CMAKE_SOURCE_DIR}/completion/quillpack.${shell})
    set_tests_properties(completion_${shell} PROPERTIES SKIP_RETURN_CODE 77)
  endforeach()
  find_program(GROFF_PROGRAM groff)
  if(GROFF_PROGRAM)
    add_test(NAME man_page
             COMMAND ${CMAKE_SOURCE_DIR}/tests/check_man_page ${GROFF_PROGRAM}
                     ${CMAKE_SOURCE_DIR}/doc/quillpack.1)
  else()
    message(WARNING "groff is missing: the man page is not checked (Debian: groff-base)")
  endif()
endif()
