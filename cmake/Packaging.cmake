# The Debian package: the program, its desktop entry, metadata and icons, with
# the dependencies read from the shared libraries the program links.
set(MOONLODGE_PACKAGE_NAME moonlodge-desktop)
set(MOONLODGE_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/${MOONLODGE_PACKAGE_NAME})

install(FILES ${PROJECT_SOURCE_DIR}/resources/desktop/copyright DESTINATION ${MOONLODGE_DOC_DIR})
# Debian wants the change log compressed, reproducibly (no name or time stamp).
set(MOONLODGE_CHANGELOG_GZ ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz)
add_custom_command(OUTPUT ${MOONLODGE_CHANGELOG_GZ}
    COMMAND gzip -9 -n -c ${PROJECT_SOURCE_DIR}/resources/desktop/changelog > ${MOONLODGE_CHANGELOG_GZ}
    DEPENDS ${PROJECT_SOURCE_DIR}/resources/desktop/changelog VERBATIM)
add_custom_target(moonlodge_changelog ALL DEPENDS ${MOONLODGE_CHANGELOG_GZ})
install(FILES ${MOONLODGE_CHANGELOG_GZ} DESTINATION ${MOONLODGE_DOC_DIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${MOONLODGE_PACKAGE_NAME})
set(CPACK_PACKAGE_VENDOR "MoonLodge")
set(CPACK_PACKAGE_CONTACT "MoonLodge Dev <dev@moonlodge.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "desktop client of the MoonLodge community")
set(CPACK_PACKAGE_DESCRIPTION
    "MoonLodge is the desktop client of a small private community. Members sign in\n"
    "with their MoonLodge account and, in one window, chat in real time, read and\n"
    "publish ideas, follow the Nebulite leaderboard, browse the members and their\n"
    "profiles, and talk with each other in a peer-to-peer voice room (WebRTC, Opus).\n"
    "New messages raise a desktop notification and an unread count.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_PACKAGE_INSTALL_DIRECTORY ${MOONLODGE_PACKAGE_NAME})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded at run time rather than linked: the Qt platform plugin, the GStreamer
# elements of the voice pipeline, ICE, and the audio and keyring services.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "qt6-qpa-plugins, gstreamer1.0-plugins-base, gstreamer1.0-plugins-good, gstreamer1.0-plugins-bad, gstreamer1.0-nice")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "pulseaudio | pipewire-pulse, gnome-keyring | kwalletmanager")
include(CPack)
