# render_icon(<name>): <name>.svg of the calling folder becomes <name>.ico in its build
# folder (16, 32, 48 and 256 px, by scripts/make-icon.py) and <name>_ICON names it, for
# the program's resource script to include.
find_program(PYTHON3 python3 REQUIRED)
function(render_icon name)
  set(ico ${CMAKE_CURRENT_BINARY_DIR}/${name}.ico)
  add_custom_command(OUTPUT ${ico}
    COMMAND ${PYTHON3} ${PROJECT_SOURCE_DIR}/scripts/make-icon.py
            ${CMAKE_CURRENT_SOURCE_DIR}/${name}.svg ${ico}
    DEPENDS ${name}.svg ${PROJECT_SOURCE_DIR}/scripts/make-icon.py
    COMMENT "Rendering ${name}.ico")
  set(${name}_ICON ${ico} PARENT_SCOPE)
endfunction()
