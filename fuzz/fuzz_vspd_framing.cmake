target_link_libraries(${name} PRIVATE vspd_core)
