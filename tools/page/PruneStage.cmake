cmake_policy(SET CMP0057 NEW)
# Keeps exactly the page archive's entries in the staging folder DIR.
set(keep
  css/css.css tavrel.html
  images/bg-1.png images/bg-2.png images/bg-3.png images/bg-6.png images/bg-7.png
  images/ico-1.png images/ico-2.png images/ico-3.png images/ico-4.png images/loading.gif
  images/logo.png images/temp_1.png images/temp_2.png
  js/Qelvor.js js/Qelvor.min.js js/jquery-1.4.2.min.js js/png.js)
file(GLOB_RECURSE present RELATIVE ${DIR} LIST_DIRECTORIES true ${DIR}/*)
foreach(p ${present})
  if(IS_DIRECTORY ${DIR}/${p})
    if(NOT p MATCHES "^(css|images|js)$")
      file(REMOVE_RECURSE ${DIR}/${p})
    endif()
  elseif(NOT p IN_LIST keep)
    file(REMOVE ${DIR}/${p})
  endif()
endforeach()
foreach(k ${keep})
  if(NOT EXISTS ${DIR}/${k})
    message(FATAL_ERROR "page: ${k} is missing from ${DIR}")
  endif()
endforeach()
