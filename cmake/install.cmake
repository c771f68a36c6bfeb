# The Linux desktop application: the version, the player's command line, and what
# `cmake --install` puts where (the Debian package, debian/, is made from it).
include(GNUInstallDirs)

# debian/changelog's newest entry is the one place the version and its date are
# written: "fernwood2 (1.0.0) unstable; ..." and " -- Name <address>  Mon, 07 Dec 2026 ...".
set(FW_CHANGELOG ${CMAKE_SOURCE_DIR}/debian/changelog)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${FW_CHANGELOG})
file(STRINGS ${FW_CHANGELOG} FW_CHANGELOG_TOP LIMIT_COUNT 1)
file(STRINGS ${FW_CHANGELOG} FW_CHANGELOG_DATE REGEX "^ -- " LIMIT_COUNT 1)
string(REGEX REPLACE "^[^ ]+ \\(([^)]+)\\).*" "\\1" FW_VERSION "${FW_CHANGELOG_TOP}")
string(REGEX MATCH ", ([0-9][0-9]) ([A-Z][a-z][a-z]) ([0-9][0-9][0-9][0-9])" FW_DATE_MATCH "${FW_CHANGELOG_DATE}")
set(FW_MONTHS Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
list(FIND FW_MONTHS "${CMAKE_MATCH_2}" FW_MONTH_INDEX)
math(EXPR FW_MONTH "${FW_MONTH_INDEX} + 1")
if(FW_MONTH LESS 10)
  set(FW_MONTH "0${FW_MONTH}")
endif()
set(FW_RELEASE_DATE "${CMAKE_MATCH_3}-${FW_MONTH}-${CMAKE_MATCH_1}")
if(NOT FW_VERSION MATCHES "^[0-9]" OR FW_MONTH_INDEX LESS 0)
  message(FATAL_ERROR "cannot read the version and its date from ${FW_CHANGELOG}")
endif()
if(PROJECT_VERSION AND NOT PROJECT_VERSION VERSION_EQUAL FW_VERSION)
  message(FATAL_ERROR "${FW_CHANGELOG} says ${FW_VERSION}, project() says ${PROJECT_VERSION}: make them agree")
endif()

# The player's command line (a gallery folder, --demo, --help, --version).
set(FW_START_FOLDER_SOURCE ${CMAKE_SOURCE_DIR}/src/platform/sdl/entry/start_folder.cpp)
target_sources(fernwood2 PRIVATE ${FW_START_FOLDER_SOURCE})
target_compile_definitions(fernwood2 PRIVATE FW_PLAYER_COMMAND_LINE)
set_property(SOURCE ${FW_START_FOLDER_SOURCE} APPEND PROPERTY COMPILE_DEFINITIONS FW_VERSION="${FW_VERSION}")

set(FW_LINUX_FILES ${CMAKE_SOURCE_DIR}/res/linux)
set(FW_APP_ID example.fernwood2.player)
set(FW_SHARE ${CMAKE_INSTALL_DATADIR}/fernwood2)

install(TARGETS fernwood2 fwgallery fwpicture RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# fwgallery new's Python, in the same places relative to each other as in tools/, and
# the layout program its pictures are drawn by; fwgallery runs them from
# FW_NEW_GALLERY_SCRIPT and FW_LAYOUT_PROGRAM (tools/fwgallery/CMakeLists.txt).
install(PROGRAMS tools/fwgallery/new_gallery.py DESTINATION ${FW_SHARE}/tools/fwgallery)
install(PROGRAMS tools/demo/make_pictures.py DESTINATION ${FW_SHARE}/tools/demo)
install(FILES tools/layout/layout.py DESTINATION ${FW_SHARE}/tools/layout)
install(TARGETS fw_layout_json RUNTIME DESTINATION lib/fernwood2)

# The menu entry, its icons, the AppStream metainfo and the manual pages.
install(FILES ${FW_LINUX_FILES}/${FW_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(DIRECTORY ${FW_LINUX_FILES}/icons/ DESTINATION ${CMAKE_INSTALL_DATADIR}/icons)
configure_file(${FW_LINUX_FILES}/${FW_APP_ID}.metainfo.xml.in ${CMAKE_BINARY_DIR}/linux/${FW_APP_ID}.metainfo.xml @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/linux/${FW_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
foreach(page fernwood2 fwgallery fwpicture)
  configure_file(${FW_LINUX_FILES}/man/${page}.1.in ${CMAKE_BINARY_DIR}/linux/${page}.1 @ONLY)
  install(FILES ${CMAKE_BINARY_DIR}/linux/${page}.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
# The demo gallery (share/fernwood2/demo) is made at packaging time: debian/rules.
