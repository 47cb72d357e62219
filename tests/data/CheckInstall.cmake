# Installs the build into an empty folder and checks what lands there: exactly the files a
# desktop needs, named so that they find each other.
file(REMOVE_RECURSE ${STAGE})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${STAGE}/usr
                RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${result}")
endif()

set(expected
  usr/bin/tessaline
  usr/share/applications/tessaline.desktop
  usr/share/doc/tessaline/changelog.gz
  usr/share/doc/tessaline/copyright
  usr/share/doc/tessaline/examples/registry.reg
  usr/share/icons/hicolor/128x128/apps/tessaline.png
  usr/share/icons/hicolor/16x16/apps/tessaline.png
  usr/share/icons/hicolor/22x22/apps/tessaline.png
  usr/share/icons/hicolor/24x24/apps/tessaline.png
  usr/share/icons/hicolor/256x256/apps/tessaline.png
  usr/share/icons/hicolor/32x32/apps/tessaline.png
  usr/share/icons/hicolor/48x48/apps/tessaline.png
  usr/share/icons/hicolor/64x64/apps/tessaline.png
  usr/share/icons/hicolor/scalable/apps/tessaline.svg
  usr/share/man/man1/tessaline.1.gz
  usr/share/metainfo/io.github.tessaline.tessaline.metainfo.xml)
file(GLOB_RECURSE installed RELATIVE ${STAGE} ${STAGE}/*)
list(SORT installed)
if(NOT installed STREQUAL expected)
  string(REPLACE ";" "\n  " installed "${installed}")
  message(FATAL_ERROR "Installed files differ from the expected ones:\n  ${installed}")
endif()

# The menu entry names the program and the icon, the metainfo names the menu entry.
file(READ ${STAGE}/usr/share/applications/tessaline.desktop entry)
string(REGEX MATCH "\nExec=([^ \n]+)" _ "${entry}")
set(exec "${CMAKE_MATCH_1}")
string(REGEX MATCH "\nIcon=([^\n]+)" _ "${entry}")
set(icon "${CMAKE_MATCH_1}")
file(READ ${STAGE}/usr/share/metainfo/io.github.tessaline.tessaline.metainfo.xml metainfo)
string(REGEX MATCH "<launchable type=\"desktop-id\">([^<]+)</launchable>" _ "${metainfo}")
set(launchable "${CMAKE_MATCH_1}")
foreach(path usr/bin/${exec} usr/share/icons/hicolor/48x48/apps/${icon}.png usr/share/applications/${launchable})
  if(NOT EXISTS ${STAGE}/${path} OR IS_DIRECTORY ${STAGE}/${path})
    message(FATAL_ERROR "Named but not installed: ${path}")
  endif()
endforeach()
