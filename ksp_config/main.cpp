#include "ksp_config_tool.h"

int wmain(int argc, wchar_t** argv) {
  try {
    return RunKspConfigTool(argc, argv);
  } catch (...) {
    return 1;
  }
}
