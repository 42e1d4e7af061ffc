# The compiler cache, when installed and no launcher was given. Paths are made relative to the
# source folder and the build folder is not hashed, so that another clone of the tree (CI's, a
# worktree) hits what this one compiled. The sloppiness lets precompiled headers be cached and
# lets a fresh clone's headers, newer than the cache's entries, hit as well.
find_program(CCACHE_PROGRAM ccache)
if(CCACHE_PROGRAM AND NOT CMAKE_CXX_COMPILER_LAUNCHER)
  set(veltro_ccache ${CMAKE_COMMAND} -E env CCACHE_BASEDIR=${CMAKE_SOURCE_DIR} CCACHE_NOHASHDIR=1
      CCACHE_SLOPPINESS=pch_defines,time_macros,include_file_mtime,include_file_ctime
      ${CCACHE_PROGRAM})
  set(CMAKE_C_COMPILER_LAUNCHER ${veltro_ccache})
  set(CMAKE_CXX_COMPILER_LAUNCHER ${veltro_ccache})
endif()
