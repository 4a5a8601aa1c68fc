# The Debian package: `cpack -G DEB` in the build directory makes
# quillmere_<version>_<arch>.deb from the install rules (the tests have
# none). dpkg-shlibdeps finds the libraries the programs link; Depends adds
# what it cannot see: the Qt platform plugin, the SVG plugins the icons are
# drawn with (loaded, not linked), libcurl, libsecret and libxml2 (loaded
# when first needed, for sign-in, the keyring and HTML mail), Qt's own Japanese texts, a
# font with Japanese characters, xdg-open for the manual and links, and the
# certificates TLS connections are checked against.
# What makes it a package a Debian system recognises: the manual pages, the
# changelog and copyright file in /usr/share/doc/quillmere, AppStream metadata
# for software centres, and bash completion for quillmere-cli.
#
# The version is PROJECT_VERSION. The top entry of packaging/changelog must
# name it; its date is the release date the manual pages and the metadata give.
set(QUILLMERE_HOMEPAGE "https://quillmere.org/")
set(QUILLMERE_CHANGELOG ${CMAKE_SOURCE_DIR}/packaging/changelog)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${QUILLMERE_CHANGELOG})
file(READ ${QUILLMERE_CHANGELOG} changelog_text)
if(NOT changelog_text MATCHES "^quillmere \\(([^)]+)\\) ")
  message(FATAL_ERROR "packaging/changelog does not begin with \"quillmere (VERSION) ...\"")
endif()
if(NOT CMAKE_MATCH_1 STREQUAL PROJECT_VERSION)
  message(FATAL_ERROR "packaging/changelog begins with version ${CMAKE_MATCH_1}, the project is "
                      "${PROJECT_VERSION}: give the new version its entry there")
endif()
# The top entry's last line: " -- NAME <ADDRESS>  Tue, 08 Dec 2026 06:50:00 +0000".
if(NOT changelog_text MATCHES "\n -- [^\n]*  [A-Z][a-z][a-z], ([0-9]+) ([A-Z][a-z][a-z]) ([0-9][0-9][0-9][0-9]) ")
  message(FATAL_ERROR "packaging/changelog: the top entry has no \" -- NAME <ADDRESS>  DATE\" line")
endif()
set(release_day ${CMAKE_MATCH_1})
set(release_year ${CMAKE_MATCH_3})
set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
list(FIND months ${CMAKE_MATCH_2} release_month)
if(release_month EQUAL -1)
  message(FATAL_ERROR "packaging/changelog: the top entry's date has no month")
endif()
math(EXPR release_month "${release_month} + 1")
foreach(part release_day release_month)
  string(LENGTH "${${part}}" length)
  if(length EQUAL 1)
    set(${part} "0${${part}}")
  endif()
endforeach()
set(QUILLMERE_RELEASE_DATE "${release_year}-${release_month}-${release_day}")

# The manual pages: docs/man/NAME.1.in with the program's own --help put in
# (cmake/man_page.sh), gzipped.
set(package_files_dir ${CMAKE_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${package_files_dir})
set(QUILLMERE_MANUAL_PAGES)
function(quillmere_manual_page name)
  set(source ${CMAKE_SOURCE_DIR}/docs/man/${name}.1.in)
  set(page ${package_files_dir}/${name}.1.gz)
  if(TARGET ${name})
    set(program $<TARGET_FILE:${name}>)
  else()
    set(program -)
  endif()
  add_custom_command(
    OUTPUT ${page}
    COMMAND sh ${CMAKE_SOURCE_DIR}/cmake/man_page.sh ${source} ${program} ${PROJECT_VERSION}
            ${QUILLMERE_RELEASE_DATE} ${page}
    DEPENDS ${source} ${CMAKE_SOURCE_DIR}/cmake/man_page.sh $<TARGET_NAME_IF_EXISTS:${name}>
    COMMENT "Writing the manual page ${name}(1)"
    VERBATIM)
  set(QUILLMERE_MANUAL_PAGES ${QUILLMERE_MANUAL_PAGES} ${page} PARENT_SCOPE)
endfunction()
quillmere_manual_page(quillmere-cli)
if(NOT QUILLMERE_CORE_ONLY)
  quillmere_manual_page(quillmere)
  quillmere_manual_page(quillmere-notepad)
endif()

set(changelog_gz ${package_files_dir}/changelog.gz)
add_custom_command(
  OUTPUT ${changelog_gz}
  COMMAND sh -c "gzip -9 -n -c \"$1\" >\"$2\"" sh ${QUILLMERE_CHANGELOG} ${changelog_gz}
  DEPENDS ${QUILLMERE_CHANGELOG}
  VERBATIM)
add_custom_target(quillmere_package_files ALL DEPENDS ${QUILLMERE_MANUAL_PAGES} ${changelog_gz})

set(metainfo ${package_files_dir}/org.quillmere.Quillmere.metainfo.xml)
configure_file(${CMAKE_SOURCE_DIR}/packaging/org.quillmere.Quillmere.metainfo.xml.in ${metainfo} @ONLY)

install(FILES ${QUILLMERE_MANUAL_PAGES} DESTINATION share/man/man1)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/copyright ${changelog_gz} DESTINATION share/doc/quillmere)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/quillmere-cli.bash-completion
        DESTINATION share/bash-completion/completions RENAME quillmere-cli)
if(NOT QUILLMERE_CORE_ONLY)
  install(FILES ${metainfo} DESTINATION share/metainfo)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillmere)
set(CPACK_PACKAGE_VENDOR Quillmere)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Japanese desktop mail client (POP3, SMTP)")
set(CPACK_PACKAGE_DESCRIPTION
    "Quillmere is a desktop mail client for one person with a Japanese user\n"
    "interface. It fetches mail over POP3 and sends it over SMTP, over TLS when\n"
    "the server offers it, and reads and writes ISO-2022-JP, Shift_JIS and UTF-8\n"
    "mail. Mail and settings are kept as plain files. Includes quillmere-cli and\n"
    "the text viewer quillmere-notepad.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Quillmere developers <quillmere@example.org>")
set(CPACK_DEBIAN_PACKAGE_SECTION mail)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "qt6-qpa-plugins, libqt6svg6, libcurl4, libsecret-1-0, libxml2, qt6-translations-l10n, fonts-noto-cjk | fonts-ipafont-gothic | fonts-vlgothic, fonts-noto-color-emoji, fonts-dejavu-core, xdg-utils, ca-certificates")
include(CPack)
