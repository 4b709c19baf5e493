# cmake -DSCRIPT=X.rc -DOUT=X.cpp -P EmbedResourceScript.cmake: writes a C++
# source that hands the resource script X.rc to the dialog stand-in when the
# program starts, as the resource compiler links it in on Windows.
file(READ ${SCRIPT} _text)
get_filename_component(_name ${SCRIPT} NAME)
file(WRITE ${OUT} "// Generated from ${_name} by cmake/EmbedResourceScript.cmake.
#include <windows.h>

namespace {

const char kScript[] = R\"qrvx_rc(${_text})qrvx_rc\";

struct TLinkScript {
  TLinkScript() { QrvxAddResourceScript(kScript); }
} g_linkScript;

}  // namespace
")
