# The Debian package: `make package` (cpack -G DEB in the build folder).
# Its Depends are worked out by dpkg-shlibdeps from the libraries the
# programs link, plus what the programs load at run time without linking it.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME plivra)
set(CPACK_PACKAGE_VENDOR "The plivra developers")
set(CPACK_PACKAGE_CONTACT "The plivra developers <plivra@users.noreply.github.com>")
set(CPACK_PACKAGE_HOMEPAGE_URL https://github.com/plivra/plivra)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "blend one 3D polygon shape into another")
set(CPACK_PACKAGE_INSTALL_DIRECTORY plivra)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# The build keeps its debugging information; the package does not need it.
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt finds its window-system plugins at run time, and the window's Japanese
# texts need a font that has them.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, fonts-ipafont | fonts-noto-cjk")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "bash-completion")
# Follows the summary; CPack indents it and marks the empty line between
# paragraphs as Debian's control format wants.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "plivra blends one 3D polygon shape into another: pick a start shape and a
target shape (.suf text files whose objects, polygons and vertices
correspond one to one) and a whole-number percentage, preview the blend in
three views and save it as a new .suf file.

The package holds the desktop program plivra, the batch tool plivra-cli
(blend sequences, correspondence checks, shape listings and wireframe
pictures) and vane-panel, the test window of the shape library.")

include(CPack)
