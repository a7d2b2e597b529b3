# Usage: cmake -DSOURCE=dir -DOUTPUT=file -P JoinViewerScript.cmake
#
# Joins the viewer's modules (SOURCE, data/viewer) into the one classic
# script that the page generator copies into each viewer page (OUTPUT,
# tavrin.js in the program folder). Each NAME.js but globals.js is a
# CommonJS-style module: it is wrapped as function (module, exports,
# require) and registered under NAME inside one wrapper, which returns
# main's exports as the global TavrinViewer. viewer.css becomes the module
# "style", its text as a string. globals.js follows the wrapper: the
# page's entry points. The joined text must stand inside the page: ASCII
# only, and never a less-than sign followed by a slash.
cmake_minimum_required(VERSION 3.20)

# Lines of text as a JavaScript string expression, one quoted line each.
function(quoted_lines text result)
  string(REPLACE "\\" "\\\\" text "${text}")
  string(REPLACE "'" "\\'" text "${text}")
  string(REGEX REPLACE "\n+$" "" text "${text}")
  string(REPLACE "\n" "',\n  '" text "${text}")
  set(${result} "[\n  '${text}'\n].join('\\n')" PARENT_SCOPE)
endfunction()

function(check_page_safe file text)
  string(FIND "${text}" "</" at)
  if(NOT at EQUAL -1)
    message(FATAL_ERROR "${file}: a less-than sign followed by a slash would end the page's script")
  endif()
  string(REGEX MATCH "[^\t\n\r -~]" other "${text}")
  if(other)
    message(FATAL_ERROR "${file}: the viewer's script must be ASCII only")
  endif()
endfunction()

get_filename_component(SOURCE ${SOURCE} ABSOLUTE)
file(GLOB modules RELATIVE ${SOURCE} ${SOURCE}/*.js)
list(REMOVE_ITEM modules globals.js)
list(SORT modules)
if(NOT "main.js" IN_LIST modules)
  message(FATAL_ERROR "${SOURCE}: no main.js")
endif()

set(names style)
foreach(module IN LISTS modules)
  string(REGEX REPLACE "\\.js$" "" name ${module})
  list(APPEND names ${name})
endforeach()

set(joined "// Tavrin proof viewer. Copied into each job's index.html after the job's
// data (jobname, factors, maxx, ...); it builds the viewer inside the page's
// container and reads the job's tile databases with HTTP Range requests.
// Everything the page's own functions call is global: map, invalidate,
// initialize. Plain script, no framework; ASCII only, and never a less-than
// sign followed by a slash, since the script stands inside the page.
// Joined by the build from the modules of data/viewer: edit those.
var map = { zoom: 0 };
var TavrinViewer = (function () {
  'use strict';

  var modules = {}, loaded = {};
  function require(name) {
    name = name.replace(/^\\.\\//, '');
    if (!loaded[name]) {
      var module = loaded[name] = { exports: {} };
      modules[name](module, module.exports, require);
    }
    return loaded[name].exports;
  }
")

file(READ ${SOURCE}/viewer.css style)
check_page_safe(${SOURCE}/viewer.css "${style}")
quoted_lines("${style}" style)
string(APPEND joined "
modules['style'] = function (module) {
module.exports = ${style};
};
")

foreach(module IN LISTS modules)
  file(READ ${SOURCE}/${module} text)
  check_page_safe(${SOURCE}/${module} "${text}")
  string(REGEX MATCHALL "require\\('[^']*'\\)" required "${text}")
  foreach(call IN LISTS required)
    string(REGEX REPLACE "^require\\('(\\./)?([^']*)'\\)$" "\\2" name "${call}")
    if(NOT name IN_LIST names)
      message(FATAL_ERROR "${SOURCE}/${module}: ${call} names no module of ${SOURCE}")
    endif()
  endforeach()
  string(REGEX REPLACE "\\.js$" "" name ${module})
  string(APPEND joined "
// ---- ${module}
modules['${name}'] = function (module, exports, require) {
${text}};
")
endforeach()

file(READ ${SOURCE}/globals.js text)
check_page_safe(${SOURCE}/globals.js "${text}")
string(APPEND joined "
return require('main');
})();

${text}")

# Written only when it changed, so that the program folder's copy keeps its time.
file(WRITE ${OUTPUT}.new "${joined}")
execute_process(COMMAND ${CMAKE_COMMAND} -E copy_if_different ${OUTPUT}.new ${OUTPUT})
file(REMOVE ${OUTPUT}.new)
