#pragma once

#include <flutter/plugin_registry.h>

// Registers the native plugins of the interface with the engine.
void RegisterPlugins(flutter::PluginRegistry* registry);
