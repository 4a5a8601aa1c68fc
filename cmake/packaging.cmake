# The Debian package: `cpack -G DEB` in the build directory makes
# quillmere_<version>_<arch>.deb from the install rules (the tests have
# none). dpkg-shlibdeps finds the libraries the programs link; Depends adds
# what it cannot see: the Qt platform plugin, the SVG plugins the icons are
# drawn with (loaded, not linked), libcurl, libsecret and libxml2 (loaded
# when first needed, for sign-in, the keyring and HTML mail), Qt's own Japanese texts, a
# font with Japanese characters, xdg-open for the manual and links, and the
# certificates TLS connections are checked against.
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
