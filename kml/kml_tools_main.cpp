// Program entry of one globe exporter; RN_KML_PROGRAM names it.
#include "kml_tools.hpp"

int main(int argc, char** argv) { return rn::kml::run_tool(RN_KML_PROGRAM, argc, argv); }
