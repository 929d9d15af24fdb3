# Tests of the desktop files, included by desktop/CMakeLists.txt: the loader through GdkPixbuf
# (every sample whole, in chunks and scaled; damaged files), the MIME type in a database built
# from our entry, and the thumbnailer entry run as a file manager runs it.
pkg_check_modules(GIO REQUIRED IMPORTED_TARGET gio-2.0)
add_executable(test_desktop_pixbuf ${CMAKE_CURRENT_LIST_DIR}/pixbuf_check.c)
target_link_libraries(test_desktop_pixbuf PRIVATE PkgConfig::GDK_PIXBUF PkgConfig::GIO)
set_target_properties(test_desktop_pixbuf PROPERTIES C_STANDARD 99 C_STANDARD_REQUIRED ON
                                                     C_EXTENSIONS OFF)
add_dependencies(test_desktop_pixbuf pixbufloader-qob-cache qob)

set(desktop_root ${CMAKE_CURRENT_LIST_DIR}/../..)
file(GLOB desktop_samples CONFIGURE_DEPENDS ${desktop_root}/samples/*.qob)

# GdkPixbuf finds the loader of a file through its MIME type, so the tests run with a MIME
# database that adds our entry to the system's, built the way update-mime-database builds the
# system's (shared-mime-info comes with GdkPixbuf).
find_program(UPDATE_MIME_DATABASE update-mime-database REQUIRED)
set(mime_root ${CMAKE_CURRENT_BINARY_DIR}/share)
add_custom_command(
  OUTPUT ${mime_root}/mime/mime.cache
  COMMAND ${CMAKE_COMMAND} -E copy ${desktop_root}/desktop/xqob-mime.xml
          ${mime_root}/mime/packages/xqob.xml
  COMMAND ${CMAKE_COMMAND} -E env XDG_DATA_DIRS=${mime_root} ${UPDATE_MIME_DATABASE}
          ${mime_root}/mime
  DEPENDS ${desktop_root}/desktop/xqob-mime.xml)
add_custom_target(desktop-mime-database ALL DEPENDS ${mime_root}/mime/mime.cache)
add_dependencies(test_desktop_pixbuf desktop-mime-database)
set(desktop_environment GDK_PIXBUF_MODULE_FILE=${XQOB_LOADERS_CACHE}
    XDG_DATA_DIRS=${mime_root}:/usr/local/share:/usr/share
    XDG_DATA_HOME=${CMAKE_CURRENT_BINARY_DIR}/no-home)

add_test(NAME desktop.PixbufSamples
         COMMAND test_desktop_pixbuf samples $<TARGET_FILE:qob> ${desktop_samples})
add_test(NAME desktop.PixbufBrokenFiles
         COMMAND test_desktop_pixbuf broken ${desktop_root}/samples/chelsea-q75.qob)
add_test(NAME desktop.MimeType
         COMMAND test_desktop_pixbuf mime ${desktop_root}/samples/chelsea-q75.qob)
set_tests_properties(desktop.PixbufSamples desktop.PixbufBrokenFiles desktop.MimeType
                     PROPERTIES ENVIRONMENT "${desktop_environment}")

# gdk-pixbuf-thumbnailer is not built with the sanitizers and cannot load a loader that is.
find_program(GDK_PIXBUF_THUMBNAILER gdk-pixbuf-thumbnailer)
if(GDK_PIXBUF_THUMBNAILER AND NOT XQOB_SANITIZE)
  add_test(NAME desktop.Thumbnailer
           COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/thumbnail.sh
                   ${desktop_root}/desktop/xqob.thumbnailer $<TARGET_FILE:test_desktop_pixbuf>
                   ${desktop_root}/samples/chelsea-q75.qob ${desktop_root}/samples/camera-gray.qob)
  set_tests_properties(desktop.Thumbnailer PROPERTIES ENVIRONMENT "${desktop_environment}")
endif()

# cmake --install: the loader lands in a loaders folder and finds the installed library.
if(NOT XQOB_SANITIZE)
  add_test(NAME desktop.InstalledLoader
           COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/installed.sh ${CMAKE_BINARY_DIR}
                   $<TARGET_FILE:test_desktop_pixbuf> ${GDK_PIXBUF_QUERY_LOADERS}
                   ${desktop_root}/samples/chelsea-q75.qob 451)
endif()
