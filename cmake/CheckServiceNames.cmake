# Checks that the compiled table of service names holds the rows of the data
# file it is made from, in order and letter case, as
#   grep -v '^#' service-names.txt | sed 's/.*/    u"&",/'
# writes them. Touches STAMP when they match; otherwise fails, naming the
# first row that differs.
#   cmake -DTABLE=service_names.cpp -DROWS=service-names.txt -DSTAMP=file -P CheckServiceNames.cmake
# (Lines are taken apart by hand, not as CMake lists, which would split a
# name at a semicolon.)
cmake_minimum_required(VERSION 3.25)

# Moves the first line of the text in variable `text_var` (without its line
# end) into `line_var`; `line_var` is undefined when the text is empty.
macro(keyscout_take_line text_var line_var)
  unset(${line_var})
  if(NOT "${${text_var}}" STREQUAL "")
    string(FIND "${${text_var}}" "\n" line_end)
    if(line_end EQUAL -1)
      set(${line_var} "${${text_var}}")
      set(${text_var} "")
    else()
      string(SUBSTRING "${${text_var}}" 0 ${line_end} ${line_var})
      math(EXPR line_end "${line_end} + 1")
      string(SUBSTRING "${${text_var}}" ${line_end} -1 ${text_var})
    endif()
  endif()
endmacro()

set(head "SERVICE_NAMES[] = {\n")
file(READ "${TABLE}" source)
string(FIND "${source}" "${head}" start)
if(start EQUAL -1)
  message(FATAL_ERROR "${TABLE}: no table starting \"${head}\" was found")
endif()
string(LENGTH "${head}" head_length)
math(EXPR start "${start} + ${head_length}")
string(SUBSTRING "${source}" ${start} -1 source)
string(FIND "${source}" "\n};" end)
if(end EQUAL -1)
  message(FATAL_ERROR "${TABLE}: the table has no end (\"};\" on a line of its own)")
endif()
string(SUBSTRING "${source}" 0 ${end} table)

# The rows as the generator writes them.
file(READ "${ROWS}" rows)
set(expected "")
set(first TRUE)
while(TRUE)
  keyscout_take_line(rows name)
  if(NOT DEFINED name)
    break()
  endif()
  if(NOT name MATCHES "^#")
    if(NOT first)
      string(APPEND expected "\n")
    endif()
    string(APPEND expected "    u\"${name}\",")
    set(first FALSE)
  endif()
endwhile()

if(table STREQUAL expected)
  file(TOUCH "${STAMP}")
  return()
endif()
set(row 0)
while(TRUE)
  math(EXPR row "${row} + 1")
  keyscout_take_line(table have)
  keyscout_take_line(expected want)
  if(NOT DEFINED have)
    set(have "(the table ends)")
  endif()
  if(NOT DEFINED want)
    set(want "(the file has no more rows)")
  endif()
  if(NOT have STREQUAL want)
    break()
  endif()
endwhile()
message(FATAL_ERROR "The service-name table no longer holds the rows of its data file.\n"
  "  table: ${TABLE}\n  file:  ${ROWS}\n"
  "Row ${row} of the table is\n  ${have}\nbut the file makes it\n  ${want}\n"
  "Make the table's rows again from the file with\n"
  "  grep -v '^#' service-names.txt | sed 's/.*/    u\"&\",/'")
