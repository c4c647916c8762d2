# Run by CPack before it packs the staged files. CPack has dpkg-shlibdeps write
# the package's Depends in the staging folder, and dpkg-shlibdeps reads a
# package-local debian/shlibs.local there before any library's symbols file: this
# entry gives libcurl the minimum Packaging.cmake names instead of the one the
# programs' symbols alone would give. CPack removes that folder before packing.
file(WRITE "${CPACK_TEMPORARY_DIRECTORY}/debian/shlibs.local"
    "libcurl 4 ${CPACK_TROVEWICK_LIBCURL_DEPENDS}\n")
