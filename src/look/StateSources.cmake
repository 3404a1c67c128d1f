# Skins, photo credits, the stage's state and files, and its actions.
target_sources(moonshelf_look PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/SkinHex.cpp ${CMAKE_CURRENT_LIST_DIR}/SkinHex.h
  ${CMAKE_CURRENT_LIST_DIR}/SkinColors.cpp ${CMAKE_CURRENT_LIST_DIR}/SkinColors.h
  ${CMAKE_CURRENT_LIST_DIR}/UISkin.cpp ${CMAKE_CURRENT_LIST_DIR}/UISkin.h
  ${CMAKE_CURRENT_LIST_DIR}/SkinStore.cpp ${CMAKE_CURRENT_LIST_DIR}/SkinStore.h
  ${CMAKE_CURRENT_LIST_DIR}/StagePhotoCredit.cpp ${CMAKE_CURRENT_LIST_DIR}/StagePhotoCredit.h
  ${CMAKE_CURRENT_LIST_DIR}/StagePhotoCatalog.cpp ${CMAKE_CURRENT_LIST_DIR}/StagePhotoCatalog.h
  ${CMAKE_CURRENT_LIST_DIR}/BackgroundPersisted.cpp ${CMAKE_CURRENT_LIST_DIR}/BackgroundPersisted.h
  ${CMAKE_CURRENT_LIST_DIR}/BackgroundFiles.cpp ${CMAKE_CURRENT_LIST_DIR}/BackgroundFiles.h
  ${CMAKE_CURRENT_LIST_DIR}/WallpaperDownloader.cpp ${CMAKE_CURRENT_LIST_DIR}/WallpaperDownloader.h
  ${CMAKE_CURRENT_LIST_DIR}/BackgroundSettings.cpp ${CMAKE_CURRENT_LIST_DIR}/BackgroundSettings.h
  ${CMAKE_CURRENT_LIST_DIR}/BackgroundActions.cpp
)

# The skins that come with the application and the first-run stage image,
# as :/skins/<id>.json and :/default-stage.webp.
qt_add_resources(moonshelf_look "skins" PREFIX "/" BASE ${CMAKE_SOURCE_DIR}/resources FILES
  ${CMAKE_SOURCE_DIR}/resources/skins/default.json
  ${CMAKE_SOURCE_DIR}/resources/skins/duvediv-oduv.json
  ${CMAKE_SOURCE_DIR}/resources/skins/aurora.json
  ${CMAKE_SOURCE_DIR}/resources/skins/cobalt.json
  ${CMAKE_SOURCE_DIR}/resources/skins/graphite.json
  ${CMAKE_SOURCE_DIR}/resources/skins/paper.json
  ${CMAKE_SOURCE_DIR}/resources/skins/daylight.json
  ${CMAKE_SOURCE_DIR}/resources/skins/golden-default.json
  ${CMAKE_SOURCE_DIR}/resources/default-stage.webp
)
