target_link_libraries(${name} PRIVATE protocol devcfg)
