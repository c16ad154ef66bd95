# Installing and packaging. In: the two programs, the manual pages' Markdown, the completion
# scripts (bash, zsh), the udev rule and the documentation. Out: `cmake --install` rules that put each at the
# place the Filesystem Hierarchy Standard and Debian expect under the prefix, a Debian package
# made by CPack (`cpack -G DEB`) and the tests that keep the pages and the completion true to
# the programs' --help.
include(GNUInstallDirs)

# Installing copies what is built; the Makefile builds the programs and the pages first, so
# `cpack` need not build every test and benchmark as well.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(MORVANTIS_PACKAGING ${CMAKE_CURRENT_SOURCE_DIR}/packaging)
set(MORVANTIS_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/morvantis)

# Manual pages: Markdown through go-md2man, compressed as Debian keeps them; and the package's
# changelog, which Debian wants beside the copyright file.
find_program(GO_MD2MAN go-md2man)
configure_file(${MORVANTIS_PACKAGING}/debian/changelog.in ${PROJECT_BINARY_DIR}/packaging/changelog.Debian @ONLY)
set(MORVANTIS_INSTALL_FILES ${PROJECT_BINARY_DIR}/packaging/changelog.Debian.gz)
add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/packaging/changelog.Debian.gz
  COMMAND gzip -9nkf changelog.Debian
  DEPENDS ${PROJECT_BINARY_DIR}/packaging/changelog.Debian
  WORKING_DIRECTORY ${PROJECT_BINARY_DIR}/packaging VERBATIM)
set(MORVANTIS_MANUAL_PAGES)
if(GO_MD2MAN)
  foreach(page Morvantis MorvantisCapture)
    set(roff ${PROJECT_BINARY_DIR}/packaging/${page}.1)
    add_custom_command(OUTPUT ${roff}.gz
      COMMAND ${GO_MD2MAN} -in ${MORVANTIS_PACKAGING}/man/${page}.1.md -out ${roff}
      COMMAND gzip -9nf ${roff}
      DEPENDS ${MORVANTIS_PACKAGING}/man/${page}.1.md VERBATIM)
    list(APPEND MORVANTIS_MANUAL_PAGES ${roff}.gz)
  endforeach()
else()
  message(WARNING "go-md2man not found (Debian package go-md2man): the manual pages are not installed")
endif()
list(APPEND MORVANTIS_INSTALL_FILES ${MORVANTIS_MANUAL_PAGES})
add_custom_target(morvantis_install_files ALL DEPENDS ${MORVANTIS_INSTALL_FILES})

install(TARGETS Morvantis MorvantisCapture RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${MORVANTIS_MANUAL_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
# One bash script completes both programs; bash-completion loads it by the command's name.
foreach(program Morvantis MorvantisCapture)
  install(FILES ${MORVANTIS_PACKAGING}/completion/morvantis.bash
          DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME ${program})
endforeach()
# zsh looks for the system's packages' completions in vendor-completions (Debian) and for local
# ones in site-functions, so the folder follows the prefix given when installing.
install(CODE "
  if(CMAKE_INSTALL_PREFIX MATCHES \"/usr$\")
    set(zsh_folder vendor-completions)
  else()
    set(zsh_folder site-functions)
  endif()
  file(INSTALL DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}/zsh/\${zsh_folder}\"
       TYPE FILE RENAME _morvantis FILES \"${MORVANTIS_PACKAGING}/completion/_morvantis.zsh\")")
# udev reads rules from /usr/lib/udev/rules.d (the package's place; /lib is the same folder on
# Debian 12) and from /usr/local/lib/udev/rules.d (make install's default prefix).
install(FILES ${MORVANTIS_PACKAGING}/udev/70-morvantis-uinput.rules DESTINATION lib/udev/rules.d)
install(FILES README.md samples/demo.cap ${MORVANTIS_PACKAGING}/debian/copyright
              ${PROJECT_BINARY_DIR}/packaging/changelog.Debian.gz
        DESTINATION ${MORVANTIS_DOC_DIR})

# The Debian package, from the same rules. Its dependencies are those of the libraries the
# programs link, found by dpkg-shlibdeps.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME morvantis)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_CONTACT "Morvantis maintainers <maintainers@users.noreply.c-seed-f1e16ad4.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "decoder for recorded eight-channel PCM signals")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Morvantis decodes captures of an eight-channel PCM signal (the durations of
the signal's runs) into bit cells, frames and channel values, and prints
them as text at one of several levels of detail.
.
MorvantisCapture, its companion, makes captures from channel values,
imports them from audio recordings, sound cards and logic-analyzer exports,
analyzes, exports and plots them, and shows the channels live.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${MORVANTIS_PACKAGING}/debian/postinst ${MORVANTIS_PACKAGING}/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)

if(MORVANTIS_TESTS)
  find_package(Python3 REQUIRED COMPONENTS Interpreter)
  add_test(NAME ManualPages.MatchEveryCommandsHelp
    COMMAND Python3::Interpreter ${MORVANTIS_PACKAGING}/tests/check_manual_pages.py
            $<TARGET_FILE:MorvantisCapture> $<TARGET_FILE:Morvantis> ${MORVANTIS_PACKAGING}/man)
  add_test(NAME Completion.FollowsTheProgramsHelp
    COMMAND bash ${MORVANTIS_PACKAGING}/tests/check_completion.sh
            $<TARGET_FILE:MorvantisCapture> $<TARGET_FILE:Morvantis> ${MORVANTIS_PACKAGING}/completion/morvantis.bash)
endif()
