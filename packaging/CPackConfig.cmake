# Debian packages, one per install component: twinfold-cli (Qt Core only)
# and, when the window is built, twinfold, which depends on it. Their other
# dependencies come from dpkg-shlibdeps. scripts/package runs cpack.

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME twinfold)
set(CPACK_PACKAGE_VENDOR "The Twinfold developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Find redundant audio channels and convert files to true mono")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL twinfold-cli)
if(TWINFOLD_BUILD_GUI)
  list(APPEND CPACK_COMPONENTS_ALL twinfold)
endif()

# The maintainer address is a placeholder on the reserved domain, like the
# project's web addresses.
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "The Twinfold developers <maintainers@twinfold.example>")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.twinfold.example/")
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)

set(CPACK_DEBIAN_TWINFOLD-CLI_PACKAGE_NAME twinfold-cli)
set(CPACK_COMPONENT_TWINFOLD-CLI_DESCRIPTION
    "Find redundant audio channels and convert files to true mono (command line)
 twinfold-cli scans WAV, AIFF, MP3, M4A and AAC files for dual mono,
 phase-inverted, panned-mono, silent-channel and multichannel duplicates and
 split .L/.R pairs, and writes bit-exact mono files beside them without ever
 overwriting a file. Scripts get JSON output and documented exit codes.")

set(CPACK_DEBIAN_TWINFOLD_PACKAGE_NAME twinfold)
# The platform plugins (X11, Wayland) are loaded at run time, out of
# dpkg-shlibdeps' sight.
set(CPACK_DEBIAN_TWINFOLD_PACKAGE_DEPENDS "twinfold-cli (= ${PROJECT_VERSION}), qt6-qpa-plugins")
set(CPACK_COMPONENT_TWINFOLD_DESCRIPTION
    "Find redundant audio channels and convert files to true mono (window)
 Twinfold shows which audio files carry the same content on several channels,
 how much space converting them saves, and converts them to true mono,
 bit-exact, backing up, deleting or keeping the originals.")

include(CPack)
