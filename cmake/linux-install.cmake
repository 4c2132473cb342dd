# `cmake --install build/linux --prefix P` lays out what a Linux station builds against:
#   P/include/stagemark.h
#   P/lib/libstagemark.so.1.0.0, its soname libstagemark.so.1 and libstagemark.so
#   P/lib/pkgconfig/stagemark.pc, P/lib/cmake/stagemark/ (find_package: stagemark::stagemark)
#   P/lib/stagemark/desk/: the stand-in libsl.so and libdv.so, stagemark-phone and the
#     station tool. The real vendor libraries belong in the system's place; a station runs
#     against the desk when this folder comes first (LD_LIBRARY_PATH).
# Every installed library and program finds its neighbours through its own folder ($ORIGIN,
# set for the whole build in the top CMakeLists.txt).
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(desk_dir ${CMAKE_INSTALL_LIBDIR}/stagemark/desk)

install(TARGETS stagemark EXPORT stagemarkTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${PROJECT_SOURCE_DIR}/include/stagemark.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

# The desk, away from the library, so the stand-ins are loaded only when asked for. They are
# in the CMake package too (stagemark::sl, stagemark::dv), for the link step alone: a
# station's link resolves libstagemark.so's own needs through them, as pkg-config's does,
# and records neither in the station.
install(TARGETS sl dv EXPORT stagemarkTargets LIBRARY DESTINATION ${desk_dir})
install(TARGETS stagemark_phone stagemark_tool RUNTIME DESTINATION ${desk_dir})
# The station tool loads libstagemark.so from its own folder: there, a link to the library.
file(RELATIVE_PATH desk_to_lib /${desk_dir} /${CMAKE_INSTALL_LIBDIR})
install(CODE "
  set(link \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${desk_dir}/libstagemark.so\")
  message(STATUS \"Installing: \${link}\")
  file(CREATE_LINK ${desk_to_lib}/libstagemark.so.${PROJECT_VERSION_MAJOR} \${link} SYMBOLIC)
")

# pkg-config, relocatable: the prefix is found from the .pc file's own place.
file(RELATIVE_PATH pc_to_prefix /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
string(REGEX REPLACE "/$" "" pc_to_prefix "${pc_to_prefix}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/stagemark.pc.in ${CMAKE_BINARY_DIR}/stagemark.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/stagemark.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# The CMake package: find_package(stagemark) gives the imported target stagemark::stagemark.
set(cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/stagemark)
install(EXPORT stagemarkTargets NAMESPACE stagemark:: DESTINATION ${cmake_dir})
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/stagemarkConfig.cmake.in
  ${CMAKE_BINARY_DIR}/stagemarkConfig.cmake INSTALL_DESTINATION ${cmake_dir})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/stagemarkConfigVersion.cmake COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/stagemarkConfig.cmake ${CMAKE_BINARY_DIR}/stagemarkConfigVersion.cmake
  DESTINATION ${cmake_dir})
