#include "generated_plugin_registrant.h"

#include <system_tray/system_tray_plugin.h>

void RegisterPlugins(flutter::PluginRegistry* registry) {
  SystemTrayPluginRegisterWithRegistrar(registry->GetRegistrarForPlugin("SystemTrayPlugin"));
}
