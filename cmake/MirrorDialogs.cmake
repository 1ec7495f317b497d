# cmake -DINPUT=<file.rc> -DOUTPUT=<file.rc> -P MirrorDialogs.cmake
# Writes a copy of a resource script whose dialog templates are laid out from the right: every DIALOGEX
# template gains the extended style WS_EX_LAYOUTRTL, or-ed into the extended style it has of its own.
# Everything else (texts, images, the paths they name) stays as it is; the copy is compiled with the
# original's folder on its include path.
file(READ "${INPUT}" text)
set(rtl "0x00400000L")
# A template's own extended style keeps its bits and gains the layout; it comes after the one added below,
# and the last one stated is the template's.
string(REGEX REPLACE "\nEXSTYLE[ \t]+([^\n]*)" "\nEXSTYLE ${rtl} | (\\1)" text "${text}")
string(REGEX REPLACE "\n([A-Za-z_][A-Za-z_0-9]*[ \t]+DIALOGEX[^\n]*)" "\n\\1\nEXSTYLE ${rtl}" text "${text}")
file(WRITE "${OUTPUT}" "// Generated from ${INPUT} by MirrorDialogs.cmake; do not edit.\n${text}")
