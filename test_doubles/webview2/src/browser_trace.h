#pragma once

#include <string>

// SENDARO_WEBVIEW_LOG names a file that gets one line per thing the browser and its user did.
void Trace(const std::string& line);
