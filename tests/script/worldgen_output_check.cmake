# worldgen into a folder that does not exist yet, two levels deep, and the
# height scale it writes next to height16.png: once with the game's script
# (which reports its sea level) and once with a script that reports none.
# Run with -DWORLDGEN=<program> -DWORK=<scratch folder> -DHASH=<seed 1 hash>.
file(REMOVE_RECURSE "${WORK}")

function(run_worldgen out)
  execute_process(COMMAND "${WORLDGEN}" ${ARGN} -out "${out}"
    RESULT_VARIABLE rc OUTPUT_VARIABLE text ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "worldgen ${ARGN} -out ${out} failed (${rc}): ${err}")
  endif()
  foreach(f height.png color.png water.png height16.png preview.png height16.json)
    if(NOT EXISTS "${out}/${f}")
      message(FATAL_ERROR "missing ${out}/${f}")
    endif()
  endforeach()
  file(READ "${out}/height16.json" json)
  set(json "${json}" PARENT_SCOPE)
endfunction()

function(expect_field name expected)
  string(JSON value GET "${json}" ${name})
  if(NOT value STREQUAL expected)
    message(FATAL_ERROR "${name} is '${value}', expected '${expected}' in ${json}")
  endif()
endfunction()

run_worldgen("${WORK}/deep/er" -seed 1)
expect_field(seed 1)
expect_field(world_hash ${HASH})
expect_field(sea_level 0)
string(JSON lo GET "${json}" height_min)
string(JSON hi GET "${json}" height_max)
if(NOT lo LESS 0 OR NOT hi GREATER 0)
  message(FATAL_ERROR "the range ${lo}..${hi} should span the sea level 0")
endif()
string(JSON type TYPE "${json}" seed)
if(NOT type STREQUAL "STRING")
  message(FATAL_ERROR "the seed is written as ${type}; 64-bit seeds need a string")
endif()

file(WRITE "${WORK}/flat.nut" "function generate_world() { add_simplex_noise(3, 4, 1, 1, 0.5); }\n")
run_worldgen("${WORK}/flat/out" -seed 18446744073709551615 -script "${WORK}/flat.nut")
expect_field(seed 18446744073709551615)
string(JSON type TYPE "${json}" sea_level)
if(NOT type STREQUAL "NULL")
  message(FATAL_ERROR "a script without a sea level gives sea_level ${type}, expected null")
endif()
