# Precompiled headers (VELTRO_PCH): the Qt and standard headers that most core files include
# take longer to parse than most of those files take to compile (3.6 s a file became 2.0 s in
# a release build: about a minute of a cold build on two cores). They are compiled once per
# build, in a small host target, and reused by every core library: veltro_pch(TARGET).
# Widget files gained 0.5 s of 5 s a file, less than the header costs to make: none for them.
set(veltro_pch_headers <algorithm> <array> <cstdint> <functional> <map> <memory> <optional>
    <string> <vector> <QByteArray> <QFile> <QHostAddress> <QObject> <QString> <QStringList>
    <QTimer> <QUdpSocket>)
# clang checks the header's time stamp, which a cached header from another clone would fail.
if(VELTRO_PCH AND CMAKE_CXX_COMPILER_ID MATCHES Clang)
  add_compile_options("SHELL:-Xclang -fno-pch-timestamp")
endif()

function(veltro_pch target)
  if(NOT VELTRO_PCH)
    return()
  endif()
  if(NOT TARGET veltro_pch_core)
    set(source ${CMAKE_BINARY_DIR}/pch_host.cpp)
    file(CONFIGURE OUTPUT ${source} CONTENT "// Hosts a precompiled header.\n")
    add_library(veltro_pch_core OBJECT ${source})
    target_link_libraries(veltro_pch_core PRIVATE Qt6::Core Qt6::Network)
    target_precompile_headers(veltro_pch_core PRIVATE ${veltro_pch_headers})
    set_target_properties(veltro_pch_core PROPERTIES AUTOMOC OFF)
  endif()
  target_precompile_headers(${target} REUSE_FROM veltro_pch_core)
endfunction()
