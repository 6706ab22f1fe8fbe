# Debian packages: `cpack -G DEB` in a build configured with CMAKE_INSTALL_PREFIX=/usr makes
# orvane_<version>_<arch>.deb (the application) and orvane-backend_<version>_<arch>.deb.
set(CPACK_PACKAGE_NAME "orvane")
set(CPACK_PACKAGE_VENDOR "Orvane")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_CONTACT "Orvane <support@orvane.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Interview assistant for the Linux desktop")
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL app backend)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "utils")
# Library dependencies come from the binaries themselves.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

set(CPACK_DEBIAN_APP_PACKAGE_NAME "orvane")
set(CPACK_COMPONENT_APP_DESCRIPTION "Hears the interviewer's questions on the computer, \
transcribes them on-device and shows the answers in a small always-on-top panel.")
set(CPACK_DEBIAN_APP_PACKAGE_DEPENDS "pocketsphinx-en-us, xdg-utils, qt6-qpa-plugins")
set(CPACK_DEBIAN_APP_PACKAGE_RECOMMENDS "orvane-backend, pulseaudio | pipewire-pulse")

set(CPACK_DEBIAN_BACKEND_PACKAGE_NAME "orvane-backend")
set(CPACK_COMPONENT_BACKEND_DESCRIPTION "The service Orvane signs in to and asks: sign-in \
exchange, AI chat as server-sent events, offline answers and a development identity provider.")

include(CPack)
