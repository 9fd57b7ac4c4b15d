# What the package installs, checked in the build tree: manual pages,
# desktop entry and AppStream metadata. The package itself is built,
# installed and purged by check_deb.sh, which needs root.
add_test(NAME package_metadata
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/package/metadata.sh ${PROJECT_BINARY_DIR}
          ${PROJECT_SOURCE_DIR})
set_tests_properties(package_metadata PROPERTIES LABELS package TIMEOUT 60)
