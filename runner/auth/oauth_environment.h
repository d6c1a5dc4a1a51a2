#pragma once

#include <functional>
#include <optional>
#include <string>

// Reads the stored environment setting ("murako_environment"); tests substitute their own.
using EnvironmentReader = std::function<std::optional<std::string>()>;

std::optional<std::string> ReadStoredEnvironment();
