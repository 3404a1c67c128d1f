# Attachment staging and the model catalog.
set(staging_fixtures tst_staging_fixtures.cpp tst_staging_fixtures.h)
moonshelf_add_test(test_staging SOURCES tst_staging.cpp ${staging_fixtures}
  LIBS moonshelf_model PkgConfig::MOONSHELF_HEIF TIMEOUT 120)
moonshelf_add_test(test_staging_images SOURCES tst_staging_images.cpp ${staging_fixtures}
  LIBS moonshelf_model PkgConfig::MOONSHELF_HEIF TIMEOUT 120)
moonshelf_add_test(test_catalog SOURCES tst_catalog.cpp LIBS moonshelf_model TIMEOUT 60)
