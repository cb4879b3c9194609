# The controller's side of discovery, linked into calvero-sim.
add_library(calvero_sim_discovery STATIC ${CMAKE_CURRENT_LIST_DIR}/discovery_responder.cpp)
target_include_directories(calvero_sim_discovery PUBLIC ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(calvero_sim_discovery PUBLIC calvero_discovery calvero_platform)
target_link_libraries(calvero-sim PRIVATE calvero_sim_discovery)
