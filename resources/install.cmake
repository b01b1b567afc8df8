# Installs Brenvaldor as a desktop application: the launcher, the icon in
# the hicolor theme at every size desktops ask for, and the AppStream data.
# Included by the top CMakeLists.txt after the executable's own rule.

set(BRENVALDOR_RESOURCES ${CMAKE_CURRENT_SOURCE_DIR}/resources)

install(FILES ${BRENVALDOR_RESOURCES}/com.Brenvaldor.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${BRENVALDOR_RESOURCES}/com.Brenvaldor.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

foreach(size 16 24 32 48 64 128 256 512)
  install(FILES ${BRENVALDOR_RESOURCES}/icons/hicolor/${size}x${size}/apps/com.Brenvaldor.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
