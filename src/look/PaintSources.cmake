# Glass, the stage view, the wallpaper panel and the brand marks.
target_sources(moonshelf_look PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/QirvTheme.cpp ${CMAKE_CURRENT_LIST_DIR}/QirvTheme.h
  ${CMAKE_CURRENT_LIST_DIR}/BackdropBlur.cpp ${CMAKE_CURRENT_LIST_DIR}/BackdropBlur.h
  ${CMAKE_CURRENT_LIST_DIR}/Backdrop.cpp ${CMAKE_CURRENT_LIST_DIR}/Backdrop.h
  ${CMAKE_CURRENT_LIST_DIR}/FrostShape.cpp ${CMAKE_CURRENT_LIST_DIR}/FrostShape.h
  ${CMAKE_CURRENT_LIST_DIR}/ShadowCache.cpp ${CMAKE_CURRENT_LIST_DIR}/ShadowCache.h
  ${CMAKE_CURRENT_LIST_DIR}/GlassPainter.cpp ${CMAKE_CURRENT_LIST_DIR}/GlassPainter.h
  ${CMAKE_CURRENT_LIST_DIR}/GlassSurface.cpp ${CMAKE_CURRENT_LIST_DIR}/GlassSurface.h
  ${CMAKE_CURRENT_LIST_DIR}/FrostShapeBackground.cpp ${CMAKE_CURRENT_LIST_DIR}/FrostShapeBackground.h
  ${CMAKE_CURRENT_LIST_DIR}/GlassDecoration.cpp ${CMAKE_CURRENT_LIST_DIR}/GlassDecoration.h
  ${CMAKE_CURRENT_LIST_DIR}/KenBurnsMotion.cpp ${CMAKE_CURRENT_LIST_DIR}/KenBurnsMotion.h
  ${CMAKE_CURRENT_LIST_DIR}/LoopingVideoBackground.cpp ${CMAKE_CURRENT_LIST_DIR}/LoopingVideoBackground.h
  ${CMAKE_CURRENT_LIST_DIR}/StageBackground.cpp ${CMAKE_CURRENT_LIST_DIR}/StageBackground.h
  ${CMAKE_CURRENT_LIST_DIR}/SidebarGlassBackground.cpp ${CMAKE_CURRENT_LIST_DIR}/SidebarGlassBackground.h
  ${CMAKE_CURRENT_LIST_DIR}/SymbolIcons.cpp ${CMAKE_CURRENT_LIST_DIR}/SymbolIcons.h
  ${CMAKE_CURRENT_LIST_DIR}/BrandImages.cpp ${CMAKE_CURRENT_LIST_DIR}/BrandImages.h
  ${CMAKE_CURRENT_LIST_DIR}/RazevuMark.cpp ${CMAKE_CURRENT_LIST_DIR}/RazevuMark.h
  ${CMAKE_CURRENT_LIST_DIR}/AppIconMark.cpp ${CMAKE_CURRENT_LIST_DIR}/AppIconMark.h
  ${CMAKE_CURRENT_LIST_DIR}/FelgrinMark.cpp ${CMAKE_CURRENT_LIST_DIR}/FelgrinMark.h
  ${CMAKE_CURRENT_LIST_DIR}/GlassSwitch.cpp ${CMAKE_CURRENT_LIST_DIR}/GlassSwitch.h
  ${CMAKE_CURRENT_LIST_DIR}/WallpaperExpandedPanel.cpp ${CMAKE_CURRENT_LIST_DIR}/WallpaperExpandedPanel.h
)

# Our own symbols and brand images (see tools/brand-images.cmake).
set(moonshelf_symbol_files)
foreach(symbol hammer.fill star.fill photo.badge.plus film shuffle arrow.uturn.backward trash xmark.circle.fill)
  list(APPEND moonshelf_symbol_files ${CMAKE_SOURCE_DIR}/resources/icons/${symbol}.svg)
endforeach()
set_source_files_properties(${CMAKE_SOURCE_DIR}/resources/AppIcon-1024.png PROPERTIES QT_RESOURCE_ALIAS brand/AppIcon-1024.png)
set_source_files_properties(${CMAKE_SOURCE_DIR}/resources/icons/razevu-mark.png PROPERTIES QT_RESOURCE_ALIAS brand/razevu-mark.png)
qt_add_resources(moonshelf_look "icons"
  PREFIX "/"
  BASE ${CMAKE_SOURCE_DIR}/resources
  FILES ${moonshelf_symbol_files}
        ${CMAKE_SOURCE_DIR}/resources/AppIcon-1024.png
        ${CMAKE_SOURCE_DIR}/resources/icons/razevu-mark.png)
