# The rooms are layered: a room's targets may link the targets of the rooms listed
# before it, never those of a room listed after it. Checked once every room is
# configured, so an include that runs upward fails the configure step, not a review.
#
# qldixw_check_room_order(<room>...): the rooms that were added, lowest first, as
# folders below the top source folder.
function(qldixw_check_room_order)
  set(index 0)
  foreach(room IN LISTS ARGN)
    get_property(targets DIRECTORY ${CMAKE_SOURCE_DIR}/${room} PROPERTY BUILDSYSTEM_TARGETS)
    foreach(target IN LISTS targets)
      set(_room_index_${target} ${index})
      set(_room_name_${target} ${room})
    endforeach()
    list(APPEND all_targets ${targets})
    math(EXPR index "${index} + 1")
  endforeach()

  set(problems "")
  foreach(target IN LISTS all_targets)
    get_target_property(direct ${target} LINK_LIBRARIES)
    get_target_property(interface ${target} INTERFACE_LINK_LIBRARIES)
    foreach(linked IN LISTS direct interface)
      # Names only: generator expressions and system libraries are no rooms.
      if(NOT linked OR linked MATCHES "[$<>]" OR NOT DEFINED _room_index_${linked})
        continue()
      endif()
      if(_room_index_${linked} GREATER _room_index_${target})
        string(APPEND problems "\n  ${target} (room ${_room_name_${target}}) links ${linked} of room ${_room_name_${linked}}, which stands above it")
      endif()
    endforeach()
  endforeach()
  if(problems)
    message(FATAL_ERROR "A room uses a room above it:${problems}\nRooms, lowest first: ${ARGN}")
  endif()
endfunction()
