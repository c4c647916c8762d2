# What an installed Trovewick carries besides the programs, the menu entry and
# the icons (src/app/CMakeLists.txt installs those): the manual pages, the
# AppStream metadata, the copyright and changelog, and the Debian package built
# from all of it with CPack (scripts/package runs it).

include(GNUInstallDirs)

# The reverse-DNS id from the vendor's host: it names the desktop entry and the
# metainfo file, and the metainfo's launchable points at the desktop entry.
set(TROVEWICK_APP_ID example.trovewick.Trovewick)
set(trovewick_packaging_dir ${CMAKE_CURRENT_LIST_DIR})
set(trovewick_packaging_out ${PROJECT_BINARY_DIR}/packaging)
set(trovewick_doc_dir ${CMAKE_INSTALL_DATADIR}/doc/trovewick)

# The release date of this version is that of the changelog's newest entry;
# the changelog itself must name this version (tests/packaging checks it).
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${trovewick_packaging_dir}/changelog)
file(STRINGS ${trovewick_packaging_dir}/changelog trovewick_changelog_trailer
    REGEX "^ -- " LIMIT_COUNT 1)
if(NOT trovewick_changelog_trailer MATCHES ", ([0-9]?[0-9]) ([A-Z][a-z][a-z]) ([0-9][0-9][0-9][0-9]) ")
    message(FATAL_ERROR "packaging/changelog: no date in the newest entry's trailer line")
endif()
math(EXPR trovewick_day "${CMAKE_MATCH_1}")
set(trovewick_month_name ${CMAKE_MATCH_2})
set(trovewick_year ${CMAKE_MATCH_3})
set(trovewick_months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
list(FIND trovewick_months ${trovewick_month_name} trovewick_month)
if(trovewick_month EQUAL -1)
    message(FATAL_ERROR "packaging/changelog: '${trovewick_month_name}' is not a month")
endif()
math(EXPR trovewick_month "${trovewick_month} + 1")
foreach(part trovewick_month trovewick_day)
    if(${part} LESS 10)
        set(${part} 0${${part}})
    endif()
endforeach()
set(TROVEWICK_RELEASE_DATE ${trovewick_year}-${trovewick_month}-${trovewick_day})

set(TROVEWICK_METAINFO ${trovewick_packaging_out}/${TROVEWICK_APP_ID}.metainfo.xml)
configure_file(${trovewick_packaging_dir}/${TROVEWICK_APP_ID}.metainfo.xml.in ${TROVEWICK_METAINFO} @ONLY)

# Manual pages and the changelog go compressed, as Debian keeps them: gzip -9n
# leaves out the name and time, so the same text gives the same bytes.
set(trovewick_gzipped)
foreach(source IN ITEMS
        ${PROJECT_SOURCE_DIR}/man/trovewick.1
        ${PROJECT_SOURCE_DIR}/man/trovewick-cli.1
        ${trovewick_packaging_dir}/changelog)
    get_filename_component(name ${source} NAME)
    set(output ${trovewick_packaging_out}/${name}.gz)
    add_custom_command(OUTPUT ${output}
        COMMAND sh -c "gzip -9n -c \"$1\" > \"$2\"" gzip ${source} ${output}
        DEPENDS ${source}
        COMMENT "Compressing ${name}"
        VERBATIM)
    list(APPEND trovewick_gzipped ${output})
endforeach()
add_custom_target(trovewick_packaging_files ALL DEPENDS ${trovewick_gzipped})

install(FILES ${trovewick_packaging_out}/trovewick.1.gz ${trovewick_packaging_out}/trovewick-cli.1.gz
    DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${TROVEWICK_METAINFO} DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${trovewick_packaging_dir}/copyright ${trovewick_packaging_out}/changelog.gz
    DESTINATION ${trovewick_doc_dir})
install(FILES ${trovewick_packaging_dir}/lintian-overrides
    DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
    RENAME trovewick)

# The Debian package. Its dependencies are what dpkg-shlibdeps finds the
# programs linked with (Qt, libcurl, the C++ runtime); the xcb platform plugin
# the window needs comes in libqt6gui6, which the window links anyway.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME trovewick)
set(CPACK_PACKAGE_VENDOR "Trovewick developers")
set(CPACK_PACKAGE_CONTACT "Trovewick developers <developers@trovewick.example>")
set(CPACK_PACKAGE_HOMEPAGE_URL "http://www.trovewick.example")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_TROVEWICK_OBJCOPY ${CMAKE_OBJCOPY})
set(CPACK_PRE_BUILD_SCRIPTS
    ${trovewick_packaging_dir}/StripComments.cmake
    ${trovewick_packaging_dir}/LibcurlMinimum.cmake)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_PACKAGE_NAME trovewick)
# trovewick_<version>_<arch>.deb, the architecture from dpkg --print-architecture.
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION web)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The web session keeps reads and redirects to http and https with options that
# came in libcurl 7.85; an older libcurl would ignore them, though its symbols
# alone satisfy dpkg-shlibdeps from 7.16 on. LibcurlMinimum.cmake hands this
# minimum to dpkg-shlibdeps, so Depends names libcurl4 once.
set(CPACK_TROVEWICK_LIBCURL_DEPENDS "libcurl4 (>= 7.85.0)")
# The classic faces the window is drawn with (read from /usr/share/wine/fonts
# when the desktop lacks them) and xdg-open, through which found files and
# sponsor addresses open in the browser; the program runs without either.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-wine, xdg-utils")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
# The first line is the synopsis; CPack indents the rest as the extended text.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION [=[search web sites for files
Trovewick crawls a web site from a root address: it follows the links of
each page to further pages and lists the links to files of the extensions
searched for (images, video and audio by default). The window shows the
pages it visits in one tree, grouped by host with the state of each read,
and the found files in a second tree, from where they open in the browser
or are copied and saved. Limits on the pages, the pages per host and the
files keep a crawl small.

The package also holds trovewick-cli, the same crawler without a window,
which prints the found files' addresses for scripts and servers.]=])
include(CPack)
