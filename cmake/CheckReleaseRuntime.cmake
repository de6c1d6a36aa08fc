# Fails when the installer's link map shows a piece of the C++ exception, string or thread
# runtime: nothing in the installer throws and it runs on one thread, so such a piece means
# a source that asks for it (a std::string, a throwing or nothrow new, a std::mutex) where a
# plain buffer or the framework allocator does. Of the C++ library only operator delete
# may come in, for the deleting destructors.
# Usage: cmake -DMAP=FILE -P CheckReleaseRuntime.cmake
file(READ "${MAP}" map)
string(FIND "${map}" "\nDiscarded input sections" end)
string(SUBSTRING "${map}" 0 ${end} members)
# Each member included: its archive and name, then the file and symbol that asked for it.
string(REGEX MATCHALL
       "[^\n]*lib(stdc\\+\\+|supc\\+\\+|gcc_eh|pthread|winpthread)\\.a\\([^)]+\\)( +[^ \n][^\n]*|\n[^\n]*)"
       pieces "${members}")
set(refused)
foreach(piece IN LISTS pieces)
  if(NOT piece MATCHES "libstdc\\+\\+\\.a\\(del_ops?\\.o\\)")
    string(REGEX REPLACE "[^ (\n]*/" "" piece "${piece}")
    string(REGEX REPLACE "[ \t\n]+" " " piece "${piece}")
    string(APPEND refused "\n  ${piece}")
  endif()
endforeach()
if(refused)
  message(FATAL_ERROR "The installer links runtime it must not carry (member, then who asked):"
                      "${refused}")
endif()
