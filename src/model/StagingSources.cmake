# Attachment staging (limits, image recompression, HEIC decode) and the model catalog.
find_package(PkgConfig REQUIRED)
# GLOBAL so the staging tests can encode HEIC fixtures with the same library.
pkg_check_modules(MOONSHELF_HEIF REQUIRED IMPORTED_TARGET GLOBAL libheif)

target_sources(moonshelf_model PRIVATE
  AttachmentTempStore.cpp AttachmentTempStore.h
  AttachmentTempStoreAsync.cpp
  AttachmentTempStoreErrors.cpp
  AttachmentTempStoreNaming.cpp AttachmentTempStoreNaming.h
  AttachmentTempStoreRead.cpp AttachmentTempStoreRead.h
  ImageRecompressor.cpp ImageRecompressor.h
  HeifDecoder.cpp HeifDecoder.h
  ModelCatalog.cpp ModelCatalog.h
  BrandDisclaimer.cpp BrandDisclaimer.h
)
target_link_libraries(moonshelf_model PRIVATE PkgConfig::MOONSHELF_HEIF)
