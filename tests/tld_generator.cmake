# Runs the TLD table generator (tld/tld.cmake, in script mode) on small
# names files and checks what it writes: the name count, the longest name
# (names of 15, 16 and 17 characters, around the 16 that the library's key
# table allows), the comma string, and the refusal of bad files.
# Arguments: -DSOURCE_DIR=<project source> -DWORK_DIR=<scratch directory>.

function(generate names out_var rc_var)
  file(REMOVE_RECURSE ${WORK_DIR})
  file(MAKE_DIRECTORY ${WORK_DIR}/tld)
  file(WRITE ${WORK_DIR}/tld/tld_names.txt "${names}")
  execute_process(
    COMMAND ${CMAKE_COMMAND} -DPROJECT_SOURCE_DIR=${WORK_DIR} -DPROJECT_BINARY_DIR=${WORK_DIR}
            -P ${SOURCE_DIR}/tld/tld.cmake
    RESULT_VARIABLE rc OUTPUT_QUIET ERROR_QUIET)
  set(text "")
  if(rc EQUAL 0)
    file(READ ${WORK_DIR}/generated/tld_table.inc text)
  endif()
  set(${out_var} "${text}" PARENT_SCOPE)
  set(${rc_var} ${rc} PARENT_SCOPE)
endfunction()

function(expect_contains text what case)
  string(FIND "${text}" "${what}" at)
  if(at EQUAL -1)
    message(SEND_ERROR "${case}: the generated table lacks '${what}'")
  endif()
endfunction()

set(n15 "abcdefghijklmno")
set(n16 "abcdefghijklmnop")
set(n17 "abcdefghijklmnopq")

# names file | count | longest
set(cases
  "com\n${n15}\n|2|15"
  "${n16}\ncom\n|2|16"
  "com\n${n17}\nx\n|3|17"
  "a\n|1|1"
  "com\nco\nc\nom\n|4|3")  # names inside earlier names are no repeats
foreach(case IN LISTS cases)
  string(REPLACE "|" ";" parts "${case}")
  list(GET parts 0 names)
  list(GET parts 1 count)
  list(GET parts 2 longest)
  generate("${names}" text rc)
  if(NOT rc EQUAL 0)
    message(SEND_ERROR "names '${names}': the generator failed")
    continue()
  endif()
  expect_contains("${text}" "#define URLKEYS_TLD_COUNT ${count}\n" "${names}")
  expect_contains("${text}" "#define URLKEYS_TLD_LONGEST ${longest}\n" "${names}")
endforeach()

# Thirteen names: the comma string breaks its line after the twelfth.
generate("a\nb\nc\nd\ne\nf\ng\nh\ni\nj\nk\nl\nm\n" text rc)
expect_contains("${text}" "\",a,b,c,d,e,f,g,h,i,j,k,l,\" \\\n    \"m,\"\n" "thirteen names")
expect_contains("${text}" "    \"a\", \\\n    \"b\", \\\n" "thirteen names")

# Files the generator must refuse.
foreach(bad "com\nCom\n" "com\nco m\n" "com\norg\ncom\n" "" "a,b\n")
  generate("${bad}" text rc)
  if(rc EQUAL 0)
    message(SEND_ERROR "names '${bad}': accepted, should be refused")
  endif()
endforeach()
file(REMOVE_RECURSE ${WORK_DIR})
